#include "automation/automation_server.h"

#include "automation/channel_router.h"
#include "automation/class_factory_object.h"
#include "automation/client/variant_codec.h"
#include "automation/interface_xml.h"
#include "automation/prompt_calls.h"
#include "automation/server_object.h"
#include "automation/stream_calls.h"
#include "automation/waiting_modem.h"
#include "automation/waiting_read.h"
#include "platform/server_lock.h"

#include "class_factory_adaptor.h"
#include "server_adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QMetaObject>

#include <atomic>

namespace tdbus {

namespace {

const QString kDispatchInterface = QStringLiteral("Tolvan32.Dispatch");
const QString kUnknownInterface = QStringLiteral("Tolvan32.Unknown");
const QString kTransferInterface = QStringLiteral("Tolvan32.Transfer");
const QString kIntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kPeerInterface = QStringLiteral("org.freedesktop.DBus.Peer");

std::atomic<int> g_serverInstances{0};

// The standard interfaces every channel object answers, for clients that take argument
// types from the introspection data.
const char* const kStandardInterfaces =
    "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
    "    <method name=\"Introspect\"><arg name=\"xml\" type=\"s\" direction=\"out\"/></method>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Peer\">\n"
    "    <method name=\"Ping\"/>\n"
    "  </interface>\n"
    "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
    "    <method name=\"Get\">\n"
    "      <arg name=\"interface\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"name\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"value\" type=\"v\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"Set\">\n"
    "      <arg name=\"interface\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"name\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"value\" type=\"v\" direction=\"in\"/>\n"
    "    </method>\n"
    "    <method name=\"GetAll\">\n"
    "      <arg name=\"interface\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"values\" type=\"a{sv}\" direction=\"out\"/>\n"
    "    </method>\n"
    "  </interface>\n";

QDBusMessage Error(const QDBusMessage& call, const QString& name, const QString& text) {
    return call.createErrorReply(name, text);
}

}  // namespace

// /Channels and everything below it, on each of the server's connections.
class ChannelObjects : public QDBusVirtualObject {
public:
    explicit ChannelObjects(AutomationServer& server) : server_(server) {}
    QString introspect(const QString& path) const override {
        return server_.IntrospectChannels(path);
    }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        return server_.HandleChannelMessage(message, connection);
    }

private:
    AutomationServer& server_;
};

AutomationServer::AutomationServer(ChannelHost& host, QObject* parent)
    : QObject(parent), host_(host) {}

AutomationServer::~AutomationServer() {
    Stop();
}

bool AutomationServer::Start(const QString& busAddress, QString* error) {
    if (running_) return true;
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        Stop();
        return false;
    };

    const int instance = ++g_serverInstances;
    calls_ = std::make_unique<CallQueue>(kCallWorkers);
    waits_ = std::make_unique<WaitReactor>();
    channelObjects_ = std::make_unique<ChannelObjects>(*this);
    RegisterServerTypes();
    serverObject_ = std::make_unique<ServerObject>(*this, host_);
    new ServerAdaptor(serverObject_.get());
    running_ = true;  // so that Stop() cleans up a partial start

    for (int i = 0; i < kChannelClassCount; ++i) {
        const auto cls = static_cast<ChannelClass>(i);
        connectionNames_[i] =
            QStringLiteral("tolvan32-%1-%2").arg(instance).arg(QLatin1String(BusNameOf(cls)));
        QDBusConnection connection =
            busAddress.isEmpty()
                ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionNames_[i])
                : QDBusConnection::connectToBus(busAddress, connectionNames_[i]);
        if (!connection.isConnected())
            return fail(QStringLiteral("cannot reach the bus: ") +
                        connection.lastError().message());

        factories_[i] = std::make_unique<ClassFactoryObject>(*this, cls);
        new ClassFactoryAdaptor(factories_[i].get());
        if (!connection.registerObject(QStringLiteral("/"), factories_[i].get(),
                                       QDBusConnection::ExportAdaptors) ||
            !connection.registerObject(QStringLiteral("/Server"), serverObject_.get(),
                                       QDBusConnection::ExportAdaptors) ||
            !connection.registerVirtualObject(ChannelsPath(), channelObjects_.get(),
                                              QDBusConnection::SubPath))
            return fail(QStringLiteral("cannot publish the objects"));

        // The clients that hold references are watched on the first connection; each is
        // added when it takes its first reference (WatchClient).
        if (i == 0) {
            clients_ = std::make_unique<QDBusServiceWatcher>(
                QString(), connection, QDBusServiceWatcher::WatchForUnregistration);
            connect(clients_.get(), &QDBusServiceWatcher::serviceUnregistered, this,
                    &AutomationServer::OnClientGone);
        }
    }
    for (int i = 0; i < kChannelClassCount; ++i) {
        const QString name = QLatin1String(BusNameOf(static_cast<ChannelClass>(i)));
        QDBusConnection connection(connectionNames_[i]);
        if (!connection.registerService(name))
            return fail(QStringLiteral("the bus name %1 is taken: ").arg(name) +
                        connection.lastError().message());
    }
    return true;
}

void AutomationServer::Stop() {
    if (!running_) return;
    running_ = false;
    // The calls under way answer while the connections are still there.
    // Waiting reads answer with what they have; then their lanes' later calls run.
    if (waits_) waits_->Stop();
    if (calls_) calls_->Shutdown();
    clients_.reset();
    for (int i = 0; i < kChannelClassCount; ++i) {
        if (connectionNames_[i].isEmpty()) continue;
        QDBusConnection connection(connectionNames_[i]);
        if (connection.isConnected()) {
            connection.unregisterService(QLatin1String(BusNameOf(static_cast<ChannelClass>(i))));
            connection.unregisterObject(ChannelsPath(), QDBusConnection::UnregisterTree);
            connection.unregisterObject(QStringLiteral("/Server"));
            connection.unregisterObject(QStringLiteral("/"));
        }
        QDBusConnection::disconnectFromBus(connectionNames_[i]);
        connectionNames_[i].clear();
    }
    transferRoute_->Clear();
    calls_.reset();
    waits_.reset();
    for (auto& f : factories_) f.reset();
    serverObject_.reset();
    channelObjects_.reset();
}

int AutomationServer::ObjectCount() const {
    int count = 0;
    for (const auto& entry : channels_) count += entry.second.published ? 1 : 0;
    return count;
}

int AutomationServer::CallsUnderWay() const {
    int count = 0;
    for (const auto& entry : channels_) count += entry.second.calls;
    return count;
}

QString AutomationServer::PathOf(const HostedChannel* channel) const {
    for (const auto& [id, record] : channels_)
        if (record.channel == channel && record.published) return ChannelPath(id);
    return {};
}

void AutomationServer::ChannelDestroyed(HostedChannel* channel) {
    // No worker may still be inside the channel when it goes.
    if (calls_) calls_->WaitIdle();
    for (auto it = channels_.begin(); it != channels_.end(); ++it) {
        if (it->second.channel != channel) continue;
        references_.Forget(it->first);
        Erase(it);
        return;
    }
}

bool AutomationServer::PostWindowWork(const void* channel, std::function<void()> work) {
    if (!running_ || !calls_) return false;
    // No client's name starts so: the lane is the window's alone.
    const std::string lane = "window " + std::to_string(reinterpret_cast<std::uintptr_t>(channel));
    return calls_->Post(lane, std::move(work));
}

void AutomationServer::EmitXferProgress(std::int16_t window, std::int32_t wParam,
                                        std::int32_t lParam) {
    transferRoute_->Emit(window, wParam, lParam);
}

std::shared_ptr<tolvan::XferProgressSink> AutomationServer::MakeTransferSink() const {
    return std::make_shared<TransferSignalSink>(transferRoute_);
}

QString AutomationServer::CreateInstance(ChannelClass cls, const QString& client,
                                         QString* errorName, QString* errorMessage) {
    HostedChannel* channel = host_.CreateChannel(cls);
    if (!channel) {
        *errorName = QStringLiteral("Tolvan32.Error.CreateFailed");
        *errorMessage = QStringLiteral("the channel could not be created");
        return {};
    }
    const std::uint32_t id = nextId_++;
    channels_[id] = {cls, channel};
    TakeReference(client, id);
    return ChannelPath(id);
}

AutomationServer::ChannelRecord* AutomationServer::Find(std::uint32_t id) {
    auto it = channels_.find(id);
    return it == channels_.end() || !it->second.published ? nullptr : &it->second;
}

std::uint32_t AutomationServer::IdOfPath(const QString& path) const {
    if (!path.startsWith(ChannelsPath() + QLatin1Char('/'))) return 0;
    bool ok = false;
    const uint id = path.mid(ChannelsPath().size() + 1).toUInt(&ok);
    return ok ? id : 0;
}

void AutomationServer::ReleaseReferences(std::uint32_t id, std::uint32_t count) {
    auto it = channels_.find(id);
    if (it == channels_.end()) return;
    it->second.heldReleases += count;
    // The path goes at once: no new call reaches a channel nobody holds.
    if (references_.Total(id) == 0) it->second.published = false;
    FlushReleases(id);
}

void AutomationServer::FlushReleases(std::uint32_t id) {
    auto it = channels_.find(id);
    if (it == channels_.end()) return;
    ChannelRecord& record = it->second;
    // A worker is inside the channel: the last Release could destroy it under the worker.
    if (record.calls > 0 || record.heldReleases == 0) return;
    HostedChannel* channel = record.channel;
    const std::uint32_t count = record.heldReleases;
    record.heldReleases = 0;
    // The record goes before the last Release, which may destroy the channel.
    if (!record.published) Erase(it);
    for (std::uint32_t i = 0; i < count; ++i) channel->Release();
}

void AutomationServer::Erase(std::map<std::uint32_t, ChannelRecord>::iterator it) {
    channels_.erase(it);
    if (!channels_.empty()) return;
    // Queued: the reply to the releasing call goes out before the application reacts.
    QMetaObject::invokeMethod(this, &AutomationServer::LastObjectReleased, Qt::QueuedConnection);
}

std::uint32_t AutomationServer::TakeReference(const QString& client, std::uint32_t id) {
    const std::string name = client.toStdString();
    const bool first = !references_.Knows(name);
    const std::uint32_t total = references_.Take(name, id);
    if (first && clients_) {
        clients_->addWatchedService(client);
        // A client that left before the watch reached the bus is not reported: the bus
        // answers this question after it has taken the watch.
        QDBusConnectionInterface* bus = clients_->connection().interface();
        if (bus && !bus->isServiceRegistered(client).value())
            QMetaObject::invokeMethod(
                this, [this, client] { OnClientGone(client); }, Qt::QueuedConnection);
    }
    return total;
}

void AutomationServer::OnClientGone(const QString& client) {
    if (clients_) clients_->removeWatchedService(client);
    const auto held = references_.DropClient(client.toStdString());
    for (const auto& [id, count] : held) ReleaseReferences(id, count);
}

bool AutomationServer::HandleChannelMessage(const QDBusMessage& message,
                                            const QDBusConnection& connection) {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;

    QDBusMessage reply;
    const std::uint32_t id = IdOfPath(message.path());
    ChannelRecord* record = id ? Find(id) : nullptr;
    const QString member = message.member();
    const bool unknownMember =
        message.interface() == kUnknownInterface ||
        (message.interface().isEmpty() &&
         (member == QLatin1String("AddRef") || member == QLatin1String("Release")));

    if (message.interface() == kIntrospectableInterface) {
        QString xml = QStringLiteral(
            "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n");
        xml += IntrospectChannels(message.path());
        xml += QStringLiteral("</node>\n");
        reply = message.createReply(xml);
    } else if (message.interface() == kPeerInterface && message.member() == QLatin1String("Ping")) {
        reply = message.createReply();
    } else if (!record) {
        reply = Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                      QStringLiteral("no channel at ") + message.path());
    } else if (unknownMember) {
        // References create and destroy documents: on the window thread.
        reply = DispatchUnknown(message, id, *record);
    } else {
        if (message.interface() == kStreamInterface) {
            const QDBusMessage refusal = RefuseStreamCall(message, connection);
            if (refusal.type() == QDBusMessage::ErrorMessage) {
                connection.send(refusal);
                return true;
            }
        }
        if (!AnswerHere(message, connection, id, *record))
            QueueCall(message, connection, id, *record);
        return true;
    }
    connection.send(reply);
    return true;
}

bool AutomationServer::AnswerHere(const QDBusMessage& message, const QDBusConnection& connection,
                                  std::uint32_t id, ChannelRecord& record) {
    // A call of the channel under way (this client's or another's) keeps its place: the
    // lanes keep the order. A server lock held elsewhere could keep the window waiting.
    if (record.calls > 0 || !IsPromptCall(message, record.channel->Target().GetDispatchClass()))
        return false;
    // Held by this thread already: an operation of the window is under way and runs its
    // event loop nested (a message box); the call must not run inside it.
    if (tolvan::plat::ServerLock::HeldByMe() || !tolvan::plat::ServerLock::TryLock()) return false;
    const CallTarget target{id, record.cls, record.channel};
    // Counted like a worker's call, so that a Release that arrives meanwhile waits for it.
    ++record.calls;
    const QDBusMessage reply = router_.Route(message, target);
    tolvan::plat::ServerLock::Unlock();
    connection.send(reply);
    CallDone(id);
    return true;
}

void AutomationServer::QueueCall(const QDBusMessage& message, const QDBusConnection& connection,
                                 std::uint32_t id, ChannelRecord& record) {
    const CallTarget target{id, record.cls, record.channel};
    const std::string lane = message.service().toStdString() + ' ' + std::to_string(id);
    message.setDelayedReply(true);
    ++record.calls;
    const bool queued = calls_ && calls_->Post(lane, [this, message, connection, target] {
        if (StartWaitingRead(message, connection, target)) return;
        connection.send(router_.Route(message, target));
        CallEnded(target.id);
    });
    if (queued) return;
    --record.calls;
    connection.send(Error(message, QStringLiteral("Tolvan32.Error.Stopping"),
                          QStringLiteral("the server is stopping")));
}

void AutomationServer::CallEnded(std::uint32_t id) {
    // The record is the window thread's: it learns there that the call has ended. The
    // id goes by a list under our own lock, the wake-up by name, so that nothing made
    // here is handed over under Qt's locks alone (which race checkers cannot see).
    {
        std::lock_guard lock(doneMutex_);
        doneIds_.push_back(id);
    }
    QMetaObject::invokeMethod(this, "OnCallsDone", Qt::QueuedConnection);
}

template <typename Waiting>
void AutomationServer::HandToReactor(std::unique_ptr<Waiting> waiting,
                                     WaitReactor::Clock::time_point deadline, std::uint32_t id) {
    // The lane's later calls wait for this answer; the worker goes back to the others.
    std::function<void()> release = calls_->HoldLane();
    waiting->OnAnswered([this, id, release] {
        CallEnded(id);
        if (release) release();
    });
    waits_->Add(deadline, std::move(waiting));
}

bool AutomationServer::StartWaitingRead(const QDBusMessage& message,
                                        const QDBusConnection& connection,
                                        const CallTarget& target) {
    // A timed read of a channel document, typed or by Invoke: tried once here, then in the
    // reactor while it finds nothing (or not enough), for the last time at the deadline.
    if (!waits_) return false;
    std::optional<ResolvedCall> call = router_.ResolveMethod(message, target);
    if (!call) return false;
    if (WaitingModem::Wants(*call))
        return StartWaitingModem(std::move(*call), message, connection, target);
    std::unique_ptr<WaitingRead> read =
        WaitingRead::Start(std::move(*call), message, connection, target);
    if (!read) return false;
    const std::int32_t ms = read->Milliseconds();
    const auto deadline = WaitReactor::Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
    bool answered = false;
    {
        tolvan::plat::ServerLockGuard guard;
        tolvan::plat::WaitTarget unused;
        answered = read->Try(ms <= 0, unused);
    }
    if (answered) {
        read->Answer();
        CallEnded(target.id);
        return true;
    }
    HandToReactor(std::move(read), deadline, target.id);
    return true;
}

bool AutomationServer::StartWaitingModem(ResolvedCall call, const QDBusMessage& message,
                                         const QDBusConnection& connection,
                                         const CallTarget& target) {
    // A modem command of a modem channel: begun here, its answer awaited in the reactor.
    std::unique_ptr<WaitingModem> command =
        WaitingModem::Start(std::move(call), message, connection, target);
    if (!command) return false;
    if (command->Answered()) {
        command->Answer();
        CallEnded(target.id);
        return true;
    }
    const auto deadline = command->Deadline();
    HandToReactor(std::move(command), deadline, target.id);
    return true;
}

void AutomationServer::OnCallsDone() {
    std::vector<std::uint32_t> done;
    {
        std::lock_guard lock(doneMutex_);
        done.swap(doneIds_);
    }
    for (std::uint32_t id : done) CallDone(id);
}

void AutomationServer::CallDone(std::uint32_t id) {
    auto it = channels_.find(id);
    if (it == channels_.end()) return;  // forgotten meanwhile (exit)
    --it->second.calls;
    FlushReleases(id);
}

QString AutomationServer::IntrospectChannels(const QString& path) const {
    QString xml;
    const std::uint32_t id = IdOfPath(path);
    if (id == 0) {
        if (path == ChannelsPath())
            for (const auto& entry : channels_)
                if (entry.second.published)
                    xml += QStringLiteral("  <node name=\"%1\"/>\n").arg(entry.first);
        return xml;
    }
    auto it = channels_.find(id);
    if (it == channels_.end() || !it->second.published) return xml;
    xml += QLatin1String(kStandardInterfaces);
    xml += InterfaceElement(kDispatchInterface);
    xml += InterfaceElement(kUnknownInterface);
    xml += InterfaceElement(kTransferInterface);
    xml += InterfaceElement(kStreamInterface);
    for (const tfw::DispatchClass* cls = &it->second.channel->Target().GetDispatchClass(); cls;
         cls = cls->Base()) {
        if (!cls->InterfaceName().empty())
            xml += InterfaceElement(QString::fromLatin1(
                cls->InterfaceName().data(), static_cast<qsizetype>(cls->InterfaceName().size())));
    }
    return xml;
}

QDBusMessage AutomationServer::DispatchUnknown(const QDBusMessage& message, std::uint32_t id,
                                               ChannelRecord& record) {
    const std::string client = message.service().toStdString();
    if (message.member() == QLatin1String("AddRef") && message.signature().isEmpty()) {
        const std::uint32_t total = TakeReference(message.service(), id);
        record.channel->AddRef();
        return message.createReply(QVariant::fromValue<uint>(total));
    }
    if (message.member() == QLatin1String("Release") && message.signature().isEmpty()) {
        const std::optional<std::uint32_t> total = references_.Drop(client, id);
        if (!total)
            return Error(message, QStringLiteral("Tolvan32.Error.NoReference"),
                         QStringLiteral("this connection holds no reference on ") + message.path());
        if (!references_.Knows(client) && clients_)
            clients_->removeWatchedService(message.service());
        ReleaseReferences(id, 1);
        return message.createReply(QVariant::fromValue<uint>(*total));
    }
    return Error(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                 QStringLiteral("Tolvan32.Unknown has AddRef() and Release()"));
}

}  // namespace tdbus
