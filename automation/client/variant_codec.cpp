#include "automation/client/variant_codec.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QMetaType>

namespace tdbus {

const char* DBusSignatureOf(tfw::VarType type) {
    using T = tfw::VarType;
    switch (type) {
        case T::Empty:
            return "";
        case T::I2:
        case T::I2Ref:
            return "n";
        case T::I4:
        case T::I4Ref:
            return "i";
        case T::Bool:
        case T::BoolRef:
            return "b";
        case T::String:
            return "s";
        case T::StringRef:
            return "ay";
    }
    return "";
}

QVariant ToDBusValue(const tfw::Variant& value) {
    using T = tfw::VarType;
    switch (value.Type()) {
        case T::Empty:
            return QVariant::fromValue(QList<QVariant>());
        case T::I2:
        case T::I2Ref:
            return QVariant::fromValue<short>(value.AsI2());
        case T::I4:
        case T::I4Ref:
            return QVariant::fromValue<int>(value.AsI4());
        case T::Bool:
        case T::BoolRef:
            return QVariant::fromValue<bool>(value.AsBool());
        case T::String:
            return QString::fromUtf8(value.AsString());
        case T::StringRef: {
            const auto bytes = value.Bytes();
            return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size()));
        }
    }
    return {};
}

std::optional<tfw::Variant> FromDBusValue(const QVariant& value) {
    switch (value.metaType().id()) {
        case QMetaType::Short:
            return tfw::Variant::I2(static_cast<std::int16_t>(value.value<short>()));
        case QMetaType::Int:
            return tfw::Variant::I4(value.value<int>());
        case QMetaType::Bool:
            return tfw::Variant::Bool(value.value<bool>());
        case QMetaType::QString: {
            const QByteArray utf8 = value.toString().toUtf8();
            return tfw::Variant::String(std::string(utf8.constData(), utf8.size()));
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return tfw::Variant::StringRef(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        }
        default:
            return std::nullopt;
    }
}

void AdoptForParam(tfw::Variant& value, tfw::VarType declared) {
    using T = tfw::VarType;
    if (declared == T::I2Ref && value.Type() == T::I2)
        value = tfw::Variant::I2Ref(value.AsI2());
    else if (declared == T::I4Ref && value.Type() == T::I4)
        value = tfw::Variant::I4Ref(value.AsI4());
    else if (declared == T::BoolRef && value.Type() == T::Bool)
        value = tfw::Variant::BoolRef(value.AsBool());
}

bool UnpackVariantArray(const QVariant& arg, QList<QVariant>& out) {
    out.clear();
    if (arg.metaType() == QMetaType::fromType<QDBusArgument>()) {
        const QDBusArgument dbusArg = arg.value<QDBusArgument>();
        if (dbusArg.currentSignature() != QLatin1String("av")) return false;
        dbusArg.beginArray();
        while (!dbusArg.atEnd()) {
            QDBusVariant element;
            dbusArg >> element;
            out.append(element.variant());
        }
        dbusArg.endArray();
        return true;
    }
    if (arg.metaType() == QMetaType::fromType<QList<QVariant>>()) {
        for (const QVariant& v : arg.value<QList<QVariant>>()) {
            out.append(v.metaType() == QMetaType::fromType<QDBusVariant>()
                           ? v.value<QDBusVariant>().variant()
                           : v);
        }
        return true;
    }
    return false;
}

QVariant PackVariantArray(const QList<QVariant>& values) {
    // A QVariantList is marshalled as "av", each element as a variant of its own type.
    return QVariant::fromValue(values);
}

}  // namespace tdbus
