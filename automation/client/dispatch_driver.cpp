#include "automation/client/dispatch_driver.h"

#include "automation/client/variant_codec.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <algorithm>

namespace tdbus {

namespace {
const QString kFactoryInterface = QStringLiteral("Tolvan32.ClassFactory");
const QString kDispatchInterface = QStringLiteral("Tolvan32.Dispatch");
const QString kUnknownInterface = QStringLiteral("Tolvan32.Unknown");
const QString kTransferInterface = QStringLiteral("Tolvan32.Transfer");
}  // namespace

namespace driver_detail {

tfw::Variant MakeArg(const QString& v) {
    const QByteArray utf8 = v.toUtf8();
    return tfw::Variant::String(std::string(utf8.constData(), utf8.size()));
}

tfw::Variant MakeArg(const ByteRef& v) {
    const auto bytes = v.Bytes();
    return tfw::Variant::StringRef(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

void WriteBack(const ByteRef& ref, const tfw::Variant& v) {
    if (v.Type() != tfw::VarType::StringRef) return;
    const auto from = v.Bytes();
    const auto to = ref.Bytes();
    // The server keeps the length; should a peer not, never write past the caller's buffer.
    std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
}

void WriteBack(std::int16_t* const& out, const tfw::Variant& v) {
    if (out && (v.Type() == tfw::VarType::I2Ref || v.Type() == tfw::VarType::I2)) *out = v.AsI2();
}

void WriteBack(std::int32_t* const& out, const tfw::Variant& v) {
    if (out && (v.Type() == tfw::VarType::I4Ref || v.Type() == tfw::VarType::I4)) *out = v.AsI4();
}

void WriteBack(bool* const& out, const tfw::Variant& v) {
    if (out && (v.Type() == tfw::VarType::BoolRef || v.Type() == tfw::VarType::Bool))
        *out = v.AsBool();
}

}  // namespace driver_detail

DispatchDriver::DispatchDriver() : connection_(QDBusConnection::sessionBus()) {}

DispatchDriver::DispatchDriver(const QDBusConnection& connection) : connection_(connection) {}

DispatchDriver::~DispatchDriver() {
    ReleaseDispatch();
}

bool DispatchDriver::SetErrorFrom(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
        error_ = {};
        return true;
    }
    if (reply.type() == QDBusMessage::ErrorMessage) {
        error_ = {reply.errorName(), reply.errorMessage()};
    } else {
        error_ = {QStringLiteral("Tolvan32.Error.NoReply"), QStringLiteral("no reply")};
    }
    return false;
}

bool DispatchDriver::CreateDispatch(const QString& progId) {
    ReleaseDispatch();
    QDBusMessage call = QDBusMessage::createMethodCall(
        progId, QStringLiteral("/"), kFactoryInterface, QStringLiteral("CreateInstance"));
    const QDBusMessage reply = connection_.call(call, QDBus::Block, kDefaultCallTimeoutMs);
    if (!SetErrorFrom(reply)) return false;
    const QList<QVariant> out = reply.arguments();
    if (out.size() != 1 || out[0].metaType() != QMetaType::fromType<QDBusObjectPath>()) {
        error_ = {QStringLiteral("Tolvan32.Error.BadReply"),
                  QStringLiteral("CreateInstance did not return an object path")};
        return false;
    }
    service_ = progId;
    path_ = out[0].value<QDBusObjectPath>().path();
    return true;
}

bool DispatchDriver::AttachDispatch(const QString& service, const QString& path) {
    ReleaseDispatch();
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, kUnknownInterface, QStringLiteral("AddRef"));
    if (!SetErrorFrom(connection_.call(call, QDBus::Block, kDefaultCallTimeoutMs))) return false;
    service_ = service;
    path_ = path;
    return true;
}

void DispatchDriver::ReleaseDispatch() {
    if (path_.isEmpty()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kUnknownInterface,
                                                       QStringLiteral("Release"));
    SetErrorFrom(connection_.call(call, QDBus::Block, kDefaultCallTimeoutMs));
    path_.clear();
    service_.clear();
}

std::optional<std::int32_t> DispatchDriver::GetIDOfName(const QString& name) {
    if (path_.isEmpty()) {
        error_ = {QStringLiteral("Tolvan32.Error.NoObject"), QStringLiteral("no object")};
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kDispatchInterface,
                                                       QStringLiteral("GetIDsOfNames"));
    call << name;
    const QDBusMessage reply = connection_.call(call, QDBus::Block, kDefaultCallTimeoutMs);
    if (!SetErrorFrom(reply)) return std::nullopt;
    const QList<QVariant> out = reply.arguments();
    if (out.size() != 1 || out[0].metaType() != QMetaType::fromType<int>()) {
        error_ = {QStringLiteral("Tolvan32.Error.BadReply"), QStringLiteral("not an identifier")};
        return std::nullopt;
    }
    return out[0].toInt();
}

bool DispatchDriver::Invoke(std::int32_t dispid, std::uint16_t flags,
                            std::vector<tfw::Variant>& args, tfw::Variant& result, int timeoutMs) {
    result = tfw::Variant();
    if (path_.isEmpty()) {
        error_ = {QStringLiteral("Tolvan32.Error.NoObject"), QStringLiteral("no object")};
        return false;
    }
    QList<QVariant> values;
    values.reserve(static_cast<qsizetype>(args.size()));
    for (const tfw::Variant& a : args) values.append(ToDBusValue(a));

    if (timeoutMs == kMemberCallTimeout)
        timeoutMs = CallTimeoutMs(service_.toStdString(), dispid, flags, args);
    QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kDispatchInterface,
                                                       QStringLiteral("Invoke"));
    call << QVariant::fromValue<int>(dispid) << QVariant::fromValue<int>(flags)
         << PackVariantArray(values);
    const QDBusMessage reply = connection_.call(call, QDBus::Block, timeoutMs);
    if (!SetErrorFrom(reply)) return false;

    const QList<QVariant> out = reply.arguments();
    QList<QVariant> returned;
    if (out.size() != 2 || out[0].metaType() != QMetaType::fromType<QDBusVariant>() ||
        !UnpackVariantArray(out[1], returned) ||
        returned.size() != static_cast<qsizetype>(args.size())) {
        error_ = {QStringLiteral("Tolvan32.Error.BadReply"),
                  QStringLiteral("Invoke returned an unexpected reply")};
        return false;
    }
    // By-reference arguments come back changed; keep each one's declared kind.
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!tfw::IsByRef(args[i].Type())) continue;
        std::optional<tfw::Variant> v = FromDBusValue(returned[static_cast<qsizetype>(i)]);
        if (!v) continue;
        AdoptForParam(*v, args[i].Type());
        if (v->Type() == args[i].Type()) args[i] = std::move(*v);
    }
    const QVariant inner = out[0].value<QDBusVariant>().variant();
    if (std::optional<tfw::Variant> r = FromDBusValue(inner)) result = std::move(*r);
    return true;
}

tfw::Variant DispatchDriver::GetProperty(std::int32_t dispid) {
    std::vector<tfw::Variant> none;
    tfw::Variant result;
    Invoke(dispid, tfw::kDispatchPropertyGet, none, result);
    return result;
}

bool DispatchDriver::SetProperty(std::int32_t dispid, tfw::Variant value) {
    std::vector<tfw::Variant> args{std::move(value)};
    tfw::Variant result;
    return Invoke(dispid, tfw::kDispatchPropertyPut, args, result);
}

bool DispatchDriver::ConnectXferProgress(QObject* receiver, const char* slot) {
    if (path_.isEmpty()) return false;
    return connection_.connect(service_, path_, kTransferInterface, QStringLiteral("XferProgress"),
                               receiver, slot);
}

}  // namespace tdbus
