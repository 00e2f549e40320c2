// Between D-Bus messages and dispatch-core calls: the arguments of Tolvan32.Dispatch.Invoke
// ("av") and of the typed interfaces (RiVo32.Document, DaRi32.Document), and their replies.
#pragma once

#include "framework/dispatch_class.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

namespace tdbus {

// "Tolvan32.Error.<status name>".
QString DispatchErrorName(tfw::DispatchStatus status);

// Typed interfaces: by-value arguments and strings by reference come in; the result
// (when there is one) and then the by-reference arguments go out.
QString TypedInSignature(const tfw::MemberInfo& member);
QString TypedOutSignature(const tfw::MemberInfo& member);

// The dispatch arguments of a typed call; every value must have its declared D-Bus type.
// By-reference integers and booleans start at 0 / false.
tfw::DispatchStatus ArgsFromTypedCall(const tfw::MemberInfo& member, const QList<QVariant>& in,
                                      std::vector<tfw::Variant>& args);
QList<QVariant> TypedReply(const tfw::MemberInfo& member, const tfw::Variant& result,
                           const std::vector<tfw::Variant>& args);

// The dispatch arguments of an Invoke call. `member` (null when the identifier is unknown)
// says which plain values stand for by-reference arguments. TypeMismatch (with `badArg`)
// for a value of a type no table uses.
tfw::DispatchStatus ArgsFromVariants(const tfw::MemberInfo* member, const QList<QVariant>& in,
                                     std::vector<tfw::Variant>& args, std::size_t* badArg);
// Invoke's reply: the result as a variant (an empty "av" for none) and every argument.
QList<QVariant> InvokeReply(const tfw::Variant& result, const std::vector<tfw::Variant>& args);

}  // namespace tdbus
