#include "automation/call_mapping.h"

#include "automation/client/variant_codec.h"

#include <QDBusVariant>

namespace tdbus {

namespace {

bool IsScalarRef(tfw::VarType t) {
    return t == tfw::VarType::I2Ref || t == tfw::VarType::I4Ref || t == tfw::VarType::BoolRef;
}

tfw::Variant ZeroRef(tfw::VarType t) {
    switch (t) {
        case tfw::VarType::I2Ref:
            return tfw::Variant::I2Ref(0);
        case tfw::VarType::I4Ref:
            return tfw::Variant::I4Ref(0);
        default:
            return tfw::Variant::BoolRef(false);
    }
}

}  // namespace

QString DispatchErrorName(tfw::DispatchStatus status) {
    return QStringLiteral("Tolvan32.Error.") + QLatin1String(tfw::DispatchStatusName(status));
}

QString TypedInSignature(const tfw::MemberInfo& member) {
    QString sig;
    for (tfw::VarType t : member.Params())
        if (!IsScalarRef(t)) sig += QLatin1String(DBusSignatureOf(t));
    return sig;
}

QString TypedOutSignature(const tfw::MemberInfo& member) {
    QString sig = QLatin1String(DBusSignatureOf(member.result));
    for (tfw::VarType t : member.Params())
        if (tfw::IsByRef(t)) sig += QLatin1String(DBusSignatureOf(t));
    return sig;
}

tfw::DispatchStatus ArgsFromTypedCall(const tfw::MemberInfo& member, const QList<QVariant>& in,
                                      std::vector<tfw::Variant>& args) {
    args.clear();
    qsizetype next = 0;
    for (tfw::VarType t : member.Params()) {
        if (IsScalarRef(t)) {
            args.push_back(ZeroRef(t));
            continue;
        }
        if (next >= in.size()) return tfw::DispatchStatus::BadParamCount;
        // FromDBusValue gives exactly the declared types: n I2, i I4, b BOOL, s string,
        // ay string ref. Typed calls are not converted: their signature is published.
        std::optional<tfw::Variant> v = FromDBusValue(in[next++]);
        if (!v || v->Type() != t) return tfw::DispatchStatus::TypeMismatch;
        args.push_back(std::move(*v));
    }
    if (next != in.size()) return tfw::DispatchStatus::BadParamCount;
    return tfw::DispatchStatus::Ok;
}

QList<QVariant> TypedReply(const tfw::MemberInfo& member, const tfw::Variant& result,
                           const std::vector<tfw::Variant>& args) {
    QList<QVariant> out;
    if (member.result != tfw::VarType::Empty) out.append(ToDBusValue(result));
    const auto params = member.Params();
    for (std::size_t i = 0; i < params.size() && i < args.size(); ++i)
        if (tfw::IsByRef(params[i])) out.append(ToDBusValue(args[i]));
    return out;
}

tfw::DispatchStatus ArgsFromVariants(const tfw::MemberInfo* member, const QList<QVariant>& in,
                                     std::vector<tfw::Variant>& args, std::size_t* badArg) {
    args.clear();
    args.reserve(static_cast<std::size_t>(in.size()));
    for (qsizetype i = 0; i < in.size(); ++i) {
        std::optional<tfw::Variant> v = FromDBusValue(in[i]);
        if (!v) {
            if (badArg) *badArg = static_cast<std::size_t>(i);
            return tfw::DispatchStatus::TypeMismatch;
        }
        if (member && member->kind == tfw::MemberKind::Method &&
            static_cast<std::size_t>(i) < member->paramCount)
            AdoptForParam(*v, member->Params()[static_cast<std::size_t>(i)]);
        args.push_back(std::move(*v));
    }
    return tfw::DispatchStatus::Ok;
}

QList<QVariant> InvokeReply(const tfw::Variant& result, const std::vector<tfw::Variant>& args) {
    QList<QVariant> values;
    values.reserve(static_cast<qsizetype>(args.size()));
    for (const tfw::Variant& a : args) values.append(ToDBusValue(a));
    return {QVariant::fromValue(QDBusVariant(ToDBusValue(result))), PackVariantArray(values)};
}

}  // namespace tdbus
