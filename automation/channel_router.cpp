#include "automation/channel_router.h"

#include "automation/call_mapping.h"
#include "automation/client/variant_codec.h"
#include "automation/stream_calls.h"
#include "platform/server_lock.h"

#include <QDBusVariant>
#include <QVariantMap>

#include <optional>

namespace tdbus {

namespace {

const QString kChannelsPath = QStringLiteral("/Channels");
const QString kDispatchInterface = QStringLiteral("Tolvan32.Dispatch");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

QDBusMessage Error(const QDBusMessage& call, const QString& name, const QString& text) {
    return call.createErrorReply(name, text);
}

QDBusMessage DispatchError(const QDBusMessage& call, tfw::DispatchStatus status,
                           const QString& detail) {
    return call.createErrorReply(DispatchErrorName(status), detail);
}

QString MemberText(const tfw::MemberInfo* info, std::int32_t dispid) {
    const QString id = QStringLiteral("0x%1").arg(static_cast<quint32>(dispid), 0, 16);
    return info
               ? QString::fromLatin1(info->name.data(), static_cast<qsizetype>(info->name.size())) +
                     QStringLiteral(" (") + id + QLatin1Char(')')
               : id;
}

}  // namespace

const QString& ChannelsPath() {
    return kChannelsPath;
}

QString ChannelPath(std::uint32_t id) {
    return kChannelsPath + QLatin1Char('/') + QString::number(id);
}

ChannelRouter::ChannelRouter(std::shared_ptr<TransferRoute> transferRoute,
                             const std::array<QString, kChannelClassCount>& connectionNames)
    : transferRoute_(std::move(transferRoute)), connectionNames_(connectionNames) {}

QDBusMessage ChannelRouter::Route(const QDBusMessage& message, const CallTarget& target) {
    if (message.interface() == kDispatchInterface) return Dispatch(message, target);
    if (message.interface() == kPropertiesInterface) return DispatchProperties(message, target);
    if (message.interface() == kStreamInterface) {
        tolvan::plat::ServerLockGuard guard;
        return AnswerStreamCall(message, target.channel->Target());
    }
    return DispatchTyped(message, target);
}

QDBusMessage ChannelRouter::RunInvoke(const QDBusMessage& message, const CallTarget& target,
                                      std::int32_t dispid, std::uint16_t flags,
                                      std::vector<tfw::Variant>& args, tfw::Variant& result) {
    const tfw::MemberInfo* info = target.channel->Target().GetDispatchClass().FindMember(dispid);

    // A reception started here reports on this channel. Set before the call: the transfer
    // thread may report before the call returns.
    const bool startsTransfer =
        info && info->name == "ReceiveXModemFile" && (flags & tfw::kDispatchMethod);
    std::unique_lock starting(transferStart_, std::defer_lock);
    TransferRoute::Target previous;
    if (startsTransfer) {
        starting.lock();
        previous = transferRoute_->Set(
            {ChannelPath(target.id), connectionNames_[static_cast<int>(target.cls)]});
    }

    std::size_t badArg = 0;
    const tfw::DispatchStatus status = target.channel->Invoke(dispid, flags, args, result, &badArg);

    if (startsTransfer && (status != tfw::DispatchStatus::Ok || result.Type() != tfw::VarType::I2 ||
                           result.AsI2() != 0))
        transferRoute_->Restore(std::move(previous));
    if (starting.owns_lock()) starting.unlock();

    if (status == tfw::DispatchStatus::Ok) return {};
    QString detail = MemberText(info, dispid);
    if (status == tfw::DispatchStatus::TypeMismatch || status == tfw::DispatchStatus::Overflow) {
        detail += QStringLiteral(": argument %1").arg(badArg + 1);
        if (info && info->kind == tfw::MemberKind::Method && badArg < info->paramCount)
            detail += QStringLiteral(" must be ") +
                      QLatin1String(tfw::VarTypeName(info->Params()[badArg]));
    } else if (status == tfw::DispatchStatus::BadParamCount && info) {
        detail += QStringLiteral(": takes %1 arguments, %2 given")
                      .arg(info->kind == tfw::MemberKind::Property ? 0 : info->paramCount)
                      .arg(args.size());
    }
    return DispatchError(message, status, detail);
}

QDBusMessage ChannelRouter::Dispatch(const QDBusMessage& message, const CallTarget& target) {
    const QList<QVariant> in = message.arguments();
    const QString member = message.member();
    if (member == QLatin1String("GetIDsOfNames")) {
        if (message.signature() != QLatin1String("s"))
            return DispatchError(message, tfw::DispatchStatus::TypeMismatch,
                                 QStringLiteral("GetIDsOfNames takes one string"));
        const QByteArray name = in[0].toString().toUtf8();
        const auto dispid = target.channel->Target().GetDispatchClass().GetIDOfName(
            std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        if (!dispid)
            return DispatchError(message, tfw::DispatchStatus::UnknownName,
                                 QStringLiteral("no member named ") + in[0].toString());
        return message.createReply(QVariant::fromValue<int>(*dispid));
    }
    if (member == QLatin1String("Invoke")) {
        QList<QVariant> values;
        if (message.signature() != QLatin1String("iiav") || !UnpackVariantArray(in[2], values))
            return DispatchError(message, tfw::DispatchStatus::TypeMismatch,
                                 QStringLiteral("Invoke takes (i dispid, i flags, av args)"));
        const std::int32_t dispid = in[0].toInt();
        const int flags = in[1].toInt();
        if (flags <= 0 || flags > 0xFFFF)
            return DispatchError(message, tfw::DispatchStatus::BadFlags,
                                 QStringLiteral("flags must combine 1, 2 and 4"));
        const tfw::MemberInfo* info =
            target.channel->Target().GetDispatchClass().FindMember(dispid);
        std::vector<tfw::Variant> args;
        std::size_t badArg = 0;
        if (tfw::DispatchStatus s = ArgsFromVariants(info, values, args, &badArg);
            s != tfw::DispatchStatus::Ok)
            return DispatchError(
                message, s,
                MemberText(info, dispid) +
                    QStringLiteral(": argument %1 has a type no member takes").arg(badArg + 1));
        tfw::Variant result;
        QDBusMessage error =
            RunInvoke(message, target, dispid, static_cast<std::uint16_t>(flags), args, result);
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        return message.createReply(InvokeReply(result, args));
    }
    return Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                 QStringLiteral("Tolvan32.Dispatch has no member ") + member);
}

QDBusMessage ChannelRouter::DispatchTyped(const QDBusMessage& message, const CallTarget& target) {
    const QString iface = message.interface();
    const QByteArray member = message.member().toLatin1();
    const std::string_view name(member.constData(), static_cast<std::size_t>(member.size()));

    // Calls without an interface may name the generic members too (AddRef and Release
    // are answered on the window thread).
    if (iface.isEmpty() && (name == "GetIDsOfNames" || name == "Invoke"))
        return Dispatch(message, target);

    std::int32_t dispid = 0;
    bool interfaceFound = false;
    if (const tfw::MemberInfo* info = FindTyped(message, target, &dispid, &interfaceFound)) {
        std::vector<tfw::Variant> args;
        const tfw::DispatchStatus s = ArgsFromTypedCall(*info, message.arguments(), args);
        if (s != tfw::DispatchStatus::Ok)
            return DispatchError(message, s,
                                 QString::fromLatin1(member) + QStringLiteral(" takes (") +
                                     TypedInSignature(*info) + QStringLiteral("), got (") +
                                     message.signature() + QLatin1Char(')'));
        tfw::Variant result;
        QDBusMessage error = RunInvoke(message, target, dispid, tfw::kDispatchMethod, args, result);
        if (error.type() == QDBusMessage::ErrorMessage) return error;
        return message.createReply(TypedReply(*info, result, args));
    }
    if (!interfaceFound && !iface.isEmpty())
        return Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                     QStringLiteral("no interface ") + iface + QStringLiteral(" on this channel"));
    return Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                 QStringLiteral("no method ") + QString::fromLatin1(member));
}

const tfw::MemberInfo* ChannelRouter::FindTyped(const QDBusMessage& message,
                                                const CallTarget& target, std::int32_t* dispid,
                                                bool* interfaceFound) {
    const QString iface = message.interface();
    const QByteArray member = message.member().toLatin1();
    const std::string_view name(member.constData(), static_cast<std::size_t>(member.size()));
    *interfaceFound = false;
    std::int32_t steps = 0;
    for (const tfw::DispatchClass* cls = &target.channel->Target().GetDispatchClass(); cls;
         cls = cls->Base(), ++steps) {
        if (cls->InterfaceName().empty()) continue;
        if (!iface.isEmpty() &&
            iface != QLatin1String(cls->InterfaceName().data(),
                                   static_cast<qsizetype>(cls->InterfaceName().size())))
            continue;
        *interfaceFound = true;
        const auto table = cls->Table();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const tfw::MemberInfo& info = table[i];
            if (info.kind != tfw::MemberKind::Method || info.name != name) continue;
            *dispid = (steps << 16) | static_cast<std::int32_t>(i + 1);
            return &info;
        }
    }
    return nullptr;
}

std::optional<ResolvedCall> ChannelRouter::ResolveMethod(const QDBusMessage& message,
                                                         const CallTarget& target) const {
    const QString iface = message.interface();
    const QString member = message.member();
    ResolvedCall call;
    const bool invoke =
        member == QLatin1String("Invoke") && (iface == kDispatchInterface || iface.isEmpty());
    if (invoke) {
        QList<QVariant> values;
        const QList<QVariant> in = message.arguments();
        if (message.signature() != QLatin1String("iiav") || !UnpackVariantArray(in[2], values))
            return std::nullopt;
        if ((in[1].toInt() & tfw::kDispatchMethod) == 0 || in[1].toInt() > 0xFFFF)
            return std::nullopt;
        call.dispid = in[0].toInt();
        call.info = target.channel->Target().GetDispatchClass().FindMember(call.dispid);
        if (!call.info || call.info->kind != tfw::MemberKind::Method) return std::nullopt;
        std::size_t badArg = 0;
        if (ArgsFromVariants(call.info, values, call.args, &badArg) != tfw::DispatchStatus::Ok)
            return std::nullopt;
        call.typed = false;
    } else {
        if (iface == kDispatchInterface || iface == kPropertiesInterface ||
            iface == kStreamInterface ||
            (iface.isEmpty() && member == QLatin1String("GetIDsOfNames")))
            return std::nullopt;
        bool interfaceFound = false;
        call.info = FindTyped(message, target, &call.dispid, &interfaceFound);
        if (!call.info || ArgsFromTypedCall(*call.info, message.arguments(), call.args) !=
                              tfw::DispatchStatus::Ok)
            return std::nullopt;
    }
    // Exactly the declared types: anything else is for the dispatch core to convert or
    // refuse.
    const auto params = call.info->Params();
    if (call.args.size() != params.size()) return std::nullopt;
    for (std::size_t i = 0; i < params.size(); ++i)
        if (call.args[i].Type() != params[i]) return std::nullopt;
    return call;
}

QDBusMessage ChannelRouter::Reply(const QDBusMessage& message, const ResolvedCall& call,
                                  const tfw::Variant& result) {
    return message.createReply(call.typed ? TypedReply(*call.info, result, call.args)
                                          : InvokeReply(result, call.args));
}

QDBusMessage ChannelRouter::DispatchProperties(const QDBusMessage& message,
                                               const CallTarget& target) {
    const QList<QVariant> in = message.arguments();
    const QString member = message.member();
    const QString sig = message.signature();
    const bool get = member == QLatin1String("Get") && sig == QLatin1String("ss");
    const bool set = member == QLatin1String("Set") && sig == QLatin1String("ssv");
    const bool getAll = member == QLatin1String("GetAll") && sig == QLatin1String("s");
    if (!get && !set && !getAll)
        return Error(message, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                     QStringLiteral("Get(ss), Set(ssv) or GetAll(s)"));
    const QString iface = in[0].toString();
    const QString wanted = getAll ? QString() : in[1].toString();

    QVariantMap all;
    std::int32_t steps = 0;
    for (const tfw::DispatchClass* cls = &target.channel->Target().GetDispatchClass(); cls;
         cls = cls->Base(), ++steps) {
        const QString clsIface = QString::fromLatin1(
            cls->InterfaceName().data(), static_cast<qsizetype>(cls->InterfaceName().size()));
        if (cls->InterfaceName().empty() || (!iface.isEmpty() && iface != clsIface)) continue;
        const auto table = cls->Table();
        for (std::size_t i = 0; i < table.size(); ++i) {
            const tfw::MemberInfo& info = table[i];
            if (info.kind != tfw::MemberKind::Property) continue;
            const QString propName =
                QString::fromLatin1(info.name.data(), static_cast<qsizetype>(info.name.size()));
            if (!getAll && propName != wanted) continue;
            const std::int32_t dispid = (steps << 16) | static_cast<std::int32_t>(i + 1);
            std::vector<tfw::Variant> args;
            tfw::Variant result;
            if (set) {
                std::optional<tfw::Variant> value =
                    FromDBusValue(in[2].value<QDBusVariant>().variant());
                if (!value)
                    return DispatchError(message, tfw::DispatchStatus::TypeMismatch,
                                         propName + QStringLiteral(" is ") +
                                             QLatin1String(DBusSignatureOf(info.result)));
                args.push_back(std::move(*value));
            }
            QDBusMessage error = RunInvoke(
                message, target, dispid,
                set ? tfw::kDispatchPropertyPut : tfw::kDispatchPropertyGet, args, result);
            if (error.type() == QDBusMessage::ErrorMessage) return error;
            if (set) return message.createReply();
            if (get)
                return message.createReply(QVariant::fromValue(QDBusVariant(ToDBusValue(result))));
            all.insert(propName, ToDBusValue(result));
        }
    }
    if (getAll) return message.createReply(QVariant::fromValue(all));
    return Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                 QStringLiteral("no property ") + wanted);
}

}  // namespace tdbus
