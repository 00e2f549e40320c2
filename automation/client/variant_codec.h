// Dispatch values on the wire. Inside Tolvan32.Dispatch.Invoke and in the typed interfaces
// I2 is "n", I4 "i", BOOL "b", string "s", string ref "ay"; by-reference integers and
// booleans travel as their value types.
#pragma once

#include "automation/client/client_export.h"
#include "framework/dispatch_variant.h"

#include <QList>
#include <QVariant>

#include <optional>

namespace tdbus {

// D-Bus signature of a table type ("" for none).
TOLVAN32_CLIENT_API const char* DBusSignatureOf(tfw::VarType type);

// The native D-Bus value of a variant: short, int, bool, QString (UTF-8 of the bytes),
// QByteArray. An Empty variant gives an empty QVariantList, which travels as "av".
TOLVAN32_CLIENT_API QVariant ToDBusValue(const tfw::Variant& value);

// The variant a native D-Bus value stands for: "n" I2, "i" I4, "b" BOOL, "s" string,
// "ay" string ref. Values of other D-Bus types give nothing.
TOLVAN32_CLIENT_API std::optional<tfw::Variant> FromDBusValue(const QVariant& value);

// Makes an argument received by value into the by-reference variant `declared` wants when
// its value type matches (an "n" for an I2 ref, ...). Leaves anything else as it is, for
// tfw::Coerce to accept or refuse.
TOLVAN32_CLIENT_API void AdoptForParam(tfw::Variant& value, tfw::VarType declared);

// An "av" argument as received (a QDBusArgument, or a list already unpacked) to a list
// of the variants' contents. False when it is not an array of variants.
TOLVAN32_CLIENT_API bool UnpackVariantArray(const QVariant& arg, QList<QVariant>& out);

// Wraps each value as a D-Bus variant, for sending as "av".
TOLVAN32_CLIENT_API QVariant PackVariantArray(const QList<QVariant>& values);

}  // namespace tdbus
