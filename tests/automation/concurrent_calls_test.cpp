// Channel calls run off the window thread: a call that waits holds up neither other
// clients nor the window thread, one client's calls on a channel keep their order, and a
// client that goes away while its call waits leaves the channel alive until the call has
// ended. Real channel documents on real ptys, clients on a private bus.
#include "automation/automation_server.h"
#include "automation/client/variant_codec.h"
#include "automation/contract/call_timeout.h"
#include "automation/contract/comm_members.h"
#include "channels/doc_comm.h"
#include "channels/doc_modem.h"
#include "automation/contract/modem_members.h"
#include "platform/device_map.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "tests/automation/bus_fixture.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>

#include <atomic>
#include <chrono>
#include <climits>
#include <future>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace tolvan::test {
namespace {

// Channel documents as the application makes them for clients, destroyed by the last
// Release (which the server gives on the window thread).
class DocumentHost : public tdbus::ChannelHost {
public:
    tdbus::HostedChannel* CreateChannel(tdbus::ChannelClass cls) override {
        std::unique_ptr<CDocComm> doc;
        if (cls == tdbus::ChannelClass::Plain) doc = std::make_unique<CDocComm>();
        if (cls == tdbus::ChannelClass::Modem) doc = std::make_unique<CDocModem>();
        if (!doc) return nullptr;
        auto hosted = std::make_unique<Hosted>(*this, std::move(doc));
        Hosted* raw = hosted.get();
        live_.emplace(raw, std::move(hosted));
        return raw;
    }
    int Live() const { return static_cast<int>(live_.size()); }

private:
    struct Hosted : tdbus::HostedChannel {
        Hosted(DocumentHost& h, std::unique_ptr<CDocComm> d) : host(h), doc(std::move(d)) {}
        tfw::DispatchTarget& Target() override { return *doc; }
        void AddRef() override { ++refs; }
        void Release() override {
            if (--refs == 0) host.live_.erase(this);  // destroys the document
        }
        DocumentHost& host;
        std::unique_ptr<CDocComm> doc;
        int refs = 1;
    };
    std::map<Hosted*, std::unique_ptr<Hosted>> live_;
};

const QString kPlain = QStringLiteral("RiVo32.Document");

class ConcurrentCalls : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApp();
        bus_ = std::make_unique<PrivateBus>();
        ASSERT_FALSE(bus_->Address().isEmpty());
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetAutoAssign(false);
        plat::DeviceMap::Set(2, com2_.slavePath());
        plat::DeviceMap::Set(3, com3_.slavePath());
        registry_.ProbePorts();
        CDocComm::SetPortRegistry(&registry_);
        server_ = std::make_unique<tdbus::AutomationServer>(host_);
        QObject::connect(server_.get(), &tdbus::AutomationServer::LastObjectReleased,
                         [this] { ++lastReleased_; });
        QString error;
        ASSERT_TRUE(server_->Start(bus_->Address(), &error)) << error.toStdString();
    }
    void TearDown() override {
        server_.reset();  // answers what is still under way
        CDocComm::SetPortRegistry(nullptr);
        plat::DeviceMap::Clear();
    }

    static QDBusPendingCall Send(QDBusConnection& client, const QString& path,
                                 const QString& member, const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(kPlain, path, kPlain, member);
        call.setArguments(args);
        return client.asyncCall(call, 60000);
    }
    // Waits for the reply while the server (this thread) works.
    static QDBusMessage Wait(QDBusPendingCall pending) {
        EXPECT_TRUE(SpinUntil([&] { return pending.isFinished(); }));
        return pending.reply();
    }
    static int Result(const QDBusMessage& reply) {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toInt();
    }
    // A channel of the client connected to a COM port at 9600,N,8,1.
    QString Connected(QDBusConnection& client, int com) {
        QDBusMessage reply = Wait(client.asyncCall(QDBusMessage::createMethodCall(
            kPlain, "/", "Tolvan32.ClassFactory", "CreateInstance")));
        const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
        EXPECT_FALSE(path.isEmpty()) << reply.errorMessage().toStdString();
        EXPECT_EQ(Result(Wait(
                      Send(client, path, "ConnectToPort",
                           {QVariant::fromValue<short>(com), 9600, QVariant::fromValue<short>('N'),
                            QVariant::fromValue<short>(8), QVariant::fromValue<short>(1)}))),
                  0);
        return path;
    }
    static QVariant Ms(int ms) { return QVariant::fromValue<int>(ms); }
    // Client `other` takes a reference on the channel and closes its connection.
    static void CloseFromAnotherClient(QDBusConnection& other, const QString& path) {
        EXPECT_EQ(Wait(other.asyncCall(QDBusMessage::createMethodCall(
                           kPlain, path, "Tolvan32.Unknown", "AddRef")))
                      .type(),
                  QDBusMessage::ReplyMessage);
        EXPECT_EQ(Result(Wait(Send(other, path, "CloseConnection"))), 0);
    }

    PtyPair com2_;
    PtyPair com3_;
    std::unique_ptr<PrivateBus> bus_;
    PortRegistry registry_;
    DocumentHost host_;
    std::unique_ptr<tdbus::AutomationServer> server_;
    int lastReleased_ = 0;
};

TEST_F(ConcurrentCalls, WaitingReadHoldsUpNeitherOtherClientsNorTheWindowThread) {
    QDBusConnection a = bus_->Connect();
    QDBusConnection b = bus_->Connect();
    const QString pathA = Connected(a, 2);
    const QString pathB = Connected(b, 3);

    QDBusPendingCall read = Send(a, pathA, "ReadCharFromPortTimed", {Ms(5000)});
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 1; }));

    // Another client on another channel, by the typed interface, by identifier and by
    // property; and the window thread's own answers (introspection).
    EXPECT_TRUE(Wait(Send(b, pathB, "IsConnected")).arguments().value(0).toBool());
    QDBusMessage invoke =
        QDBusMessage::createMethodCall(kPlain, pathB, "Tolvan32.Dispatch", "Invoke");
    invoke << static_cast<int>(kDispGetPortNumber) << 1 << QVariant::fromValue(QVariantList{});
    EXPECT_EQ(
        Wait(b.asyncCall(invoke)).arguments().value(0).value<QDBusVariant>().variant().toInt(), 3);
    QDBusMessage introspect = QDBusMessage::createMethodCall(
        kPlain, pathA, "org.freedesktop.DBus.Introspectable", "Introspect");
    EXPECT_TRUE(Wait(b.asyncCall(introspect))
                    .arguments()
                    .value(0)
                    .toString()
                    .contains("ReadCharFromPortTimed"));
    EXPECT_FALSE(read.isFinished()) << "the read ended before the other calls were answered";

    // The byte ends the wait with what the read always returned.
    ASSERT_TRUE(com2_.Write("Z"));
    EXPECT_EQ(Result(Wait(read)), 'Z');
    // Nothing comes: the time-out status, -10.
    EXPECT_EQ(Result(Wait(Send(a, pathA, "ReadCharFromPortTimed", {Ms(30)}))), -10);
    // A timed read of bytes collects what arrives in pieces while it waits.
    QDBusPendingCall bytes = Send(a, pathA, "ReadFromPortTimed",
                                  {QByteArray(4, '\0'), QVariant::fromValue<short>(4), Ms(5000)});
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 1; }));
    ASSERT_TRUE(com2_.Write("ab"));
    EXPECT_EQ(Result(Wait(Send(b, pathB, "WriteToPort",
                               {QByteArray("xy"), QVariant::fromValue<short>(2)}))),
              2);
    ASSERT_TRUE(com2_.Write("cd"));
    const QDBusMessage got = Wait(bytes);
    EXPECT_EQ(Result(got), 4);
    EXPECT_EQ(got.arguments().value(1).toByteArray(), QByteArray("abcd"));
    EXPECT_EQ(com3_.Read(2), (std::vector<std::uint8_t>{'x', 'y'}));
}

TEST_F(ConcurrentCalls, OneClientsCallsOnAChannelKeepTheirOrder) {
    QDBusConnection a = bus_->Connect();
    QDBusConnection b = bus_->Connect();
    const QString pathA = Connected(a, 2);
    const QString pathB = Connected(b, 3);

    // Sent back to back without waiting: a read that waits, nine writes, a query.
    std::vector<QDBusPendingCall> calls;
    calls.push_back(Send(a, pathA, "ReadCharFromPortTimed", {Ms(5000)}));
    for (char c = '1'; c <= '9'; ++c)
        calls.push_back(
            Send(a, pathA, "WriteToPort", {QByteArray(1, c), QVariant::fromValue<short>(1)}));
    calls.push_back(Send(a, pathA, "GetPortNumber"));
    std::vector<int> finished;
    std::vector<std::unique_ptr<QDBusPendingCallWatcher>> watchers;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        watchers.push_back(std::make_unique<QDBusPendingCallWatcher>(calls[i]));
        QObject::connect(watchers.back().get(), &QDBusPendingCallWatcher::finished,
                         [&finished, i] { finished.push_back(static_cast<int>(i)); });
    }
    ASSERT_TRUE(
        SpinUntil([&] { return server_->CallsUnderWay() == static_cast<int>(calls.size()); }));

    // Others are served meanwhile; the client's own later calls wait behind its read.
    EXPECT_TRUE(Wait(Send(b, pathB, "IsConnected")).arguments().value(0).toBool());
    EXPECT_TRUE(finished.empty());
    EXPECT_TRUE(com2_.ReadAvailable(50).empty()) << "a write overtook the read before it";

    ASSERT_TRUE(com2_.Write("Z"));
    ASSERT_TRUE(SpinUntil([&] { return finished.size() == calls.size(); }));
    std::vector<int> inOrder(calls.size());
    for (std::size_t i = 0; i < inOrder.size(); ++i) inOrder[i] = static_cast<int>(i);
    EXPECT_EQ(finished, inOrder);
    EXPECT_EQ(Result(calls.front().reply()), 'Z');
    EXPECT_EQ(Result(calls.back().reply()), 2);
    const std::vector<std::uint8_t> wire = com2_.Read(9);
    EXPECT_EQ(std::string(wire.begin(), wire.end()), "123456789");
}

// Calls that cannot wait are answered on the window thread when their channel is idle, but
// never by waiting there for a server lock that another thread holds: such a call goes to a
// worker and the window keeps answering.
TEST_F(ConcurrentCalls, CallsThatCannotWaitNeverWaitOnTheWindowThreadForTheServerLock) {
    QDBusConnection a = bus_->Connect();
    const QString pathA = Connected(a, 2);
    EXPECT_TRUE(Wait(Send(a, pathA, "IsConnected")).arguments().value(0).toBool());

    std::promise<void> letGo;
    std::atomic<bool> held{false};
    std::thread holder([&held, gone = letGo.get_future()] {
        plat::ServerLockGuard lock;
        held = true;
        // Bounded, so that a window thread that did wait is let go and the test fails.
        gone.wait_for(std::chrono::seconds(20));
    });
    ASSERT_TRUE(SpinUntil([&] { return held.load(); }));

    QDBusPendingCall write =
        Send(a, pathA, "WriteToPort", {QByteArray("hi"), QVariant::fromValue<short>(2)});
    QDBusMessage invoke =
        QDBusMessage::createMethodCall(kPlain, pathA, "Tolvan32.Dispatch", "Invoke");
    invoke << static_cast<int>(kDispIsConnected) << 1 << QVariant::fromValue(QVariantList{});
    QDBusPendingCall query = a.asyncCall(invoke);
    const bool queued = SpinUntil([&] { return server_->CallsUnderWay() == 2; });
    QDBusMessage introspect = QDBusMessage::createMethodCall(
        kPlain, pathA, "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusMessage answered = Wait(a.asyncCall(introspect));
    EXPECT_FALSE(write.isFinished() || query.isFinished())
        << "answered under a lock held elsewhere";
    letGo.set_value();
    holder.join();
    ASSERT_TRUE(queued) << "the window thread waited for the lock";
    EXPECT_TRUE(answered.arguments().value(0).toString().contains("WriteToPort"));

    // Answered once the lock is free; with the channel idle again, at once.
    EXPECT_EQ(Result(Wait(write)), 2);
    EXPECT_TRUE(Wait(query).arguments().value(0).value<QDBusVariant>().variant().toBool());
    EXPECT_EQ(com2_.Read(2), (std::vector<std::uint8_t>{'h', 'i'}));
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 0; }));
    EXPECT_EQ(Result(Wait(
                  Send(a, pathA, "WriteToPort", {QByteArray("!"), QVariant::fromValue<short>(1)}))),
              1);
    EXPECT_EQ(com2_.Read(1), (std::vector<std::uint8_t>{'!'}));
}

TEST_F(ConcurrentCalls, CallsThatCannotWaitDoNotRunInsideAWindowOperationThatHoldsTheLock) {
    QDBusConnection a = bus_->Connect();
    const QString pathA = Connected(a, 2);
    // As a message box raised in the middle of a port operation on the window thread: the
    // lock is held and the event loop runs nested.
    plat::ServerLock::Lock();
    QDBusPendingCall write =
        Send(a, pathA, "WriteToPort", {QByteArray("in"), QVariant::fromValue<short>(2)});
    EXPECT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 1; }));
    EXPECT_FALSE(write.isFinished()) << "ran inside the operation that holds the lock";
    plat::ServerLock::Unlock();
    EXPECT_EQ(Result(Wait(write)), 2);
    EXPECT_EQ(com2_.Read(2), (std::vector<std::uint8_t>{'i', 'n'}));
}

TEST_F(ConcurrentCalls, ClientGoneWhileItsCallWaitsLeavesTheChannelUntilTheCallEnds) {
    const QString name = QStringLiteral("client-that-goes");
    QDBusConnection a = QDBusConnection::connectToBus(bus_->Address(), name);
    QDBusConnection b = bus_->Connect();
    const QString pathA = Connected(a, 2);
    const QString pathB = Connected(b, 3);
    ASSERT_EQ(host_.Live(), 2);

    Send(a, pathA, "ReadCharFromPortTimed", {Ms(5000)});
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 1; }));
    a = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);

    // Its references are dropped at once, but the channel stays while the read runs in it.
    ASSERT_TRUE(SpinUntil([&] { return server_->ObjectCount() == 1; }));
    EXPECT_EQ(host_.Live(), 2);
    ASSERT_NE(registry_.FindPort(2), nullptr);
    EXPECT_TRUE(registry_.FindPort(2)->IsOpen());
    EXPECT_EQ(lastReleased_, 0);
    EXPECT_TRUE(Wait(Send(b, pathB, "IsConnected")).arguments().value(0).toBool());
    // Nobody holds it any more: no new call reaches it.
    EXPECT_EQ(Wait(Send(b, pathA, "IsConnected")).type(), QDBusMessage::ErrorMessage);

    // The read ends (its answer goes nowhere), then the channel goes and its port closes.
    ASSERT_TRUE(com2_.Write("Z"));
    ASSERT_TRUE(SpinUntil([&] { return host_.Live() == 1; }));
    EXPECT_FALSE(registry_.FindPort(2)->IsOpen());
    EXPECT_EQ(server_->CallsUnderWay(), 0);
    EXPECT_EQ(lastReleased_, 0);
    EXPECT_TRUE(registry_.FindPort(3)->IsOpen());

    QDBusMessage release =
        QDBusMessage::createMethodCall(kPlain, pathB, "Tolvan32.Unknown", "Release");
    EXPECT_EQ(Wait(b.asyncCall(release)).type(), QDBusMessage::ReplyMessage);
    EXPECT_TRUE(SpinUntil([&] { return lastReleased_ == 1; }));
    EXPECT_EQ(host_.Live(), 0);
}

TEST_F(ConcurrentCalls, WaitingReadsHoldNoWorkerAndEndOnBytesDeadlineOrClose) {
    QDBusConnection a = bus_->Connect();
    QDBusConnection b = bus_->Connect();
    // More reads waiting than there are workers, each in a lane of its own.
    constexpr int kReads = static_cast<int>(tdbus::kCallWorkers) + 4;
    std::vector<QString> paths;
    for (int i = 0; i < kReads; ++i) paths.push_back(Connected(a, 2));
    const QString pathB = Connected(b, 3);
    std::vector<QDBusPendingCall> reads;
    for (const QString& path : paths)
        reads.push_back(Send(a, path, "ReadCharFromPortTimed", {Ms(60000)}));
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == kReads; }));

    // A call that goes to a worker (a timed read of bytes with nothing to wait for) on yet
    // another channel is answered long before any read's minute is up.
    QDBusPendingCall other = Send(b, pathB, "ReadFromPortTimed",
                                  {QByteArray(4, '\0'), QVariant::fromValue<short>(4), Ms(0)});
    EXPECT_TRUE(SpinUntil([&] { return other.isFinished(); }, 5000))
        << "the other client waited for a worker";
    EXPECT_EQ(Result(other.reply()), 0);
    for (const QDBusPendingCall& read : reads) EXPECT_FALSE(read.isFinished());

    // A byte for the port: every channel on it reads it.
    ASSERT_TRUE(com2_.Write("Q"));
    for (QDBusPendingCall& read : reads) EXPECT_EQ(Result(Wait(read)), 'Q');

    // The deadline: the time-out status.
    EXPECT_EQ(Result(Wait(Send(a, paths[0], "ReadCharFromPortTimed", {Ms(50)}))), -10);

    // Another client that holds the channel closes its connection: the read ends at once
    // with "not set up" instead of waiting out its minute.
    QDBusPendingCall closed = Send(a, paths[1], "ReadCharFromPortTimed", {Ms(60000)});
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 1; }));
    CloseFromAnotherClient(b, paths[1]);
    EXPECT_TRUE(SpinUntil([&] { return closed.isFinished(); }, 5000));
    EXPECT_EQ(Result(closed.reply()), -6);
}

// Timed reads of bytes and of strings wait without a worker too, typed or by Invoke, and
// answer as the members always did: pieces joined, the terminator dropped and the rest of
// the buffer zeroed, what came by the deadline, the end when the channel is closed.
TEST_F(ConcurrentCalls, TimedReadsOfBytesAndStringsHoldNoWorkerAndAnswerAsBefore) {
    QDBusConnection a = bus_->Connect();
    QDBusConnection b = bus_->Connect();
    constexpr int kEach = static_cast<int>(tdbus::kCallWorkers) / 4 + 1;  // 4 kinds: > 16
    std::vector<QString> paths;
    for (int i = 0; i < 4 * kEach; ++i) paths.push_back(Connected(a, 2));
    const QString pathB = Connected(b, 3);
    const auto n = [](int v) { return QVariant::fromValue<short>(static_cast<short>(v)); };
    std::vector<QDBusPendingCall> bytes, lines, joined, invoked;
    for (int i = 0; i < kEach; ++i) {
        bytes.push_back(
            Send(a, paths[4 * i], "ReadFromPortTimed", {QByteArray(6, '.'), n(4), Ms(60000)}));
        lines.push_back(Send(a, paths[4 * i + 1], "ReadStringFromPortTimed",
                             {QByteArray(8, '.'), n(8), n(-2), Ms(60000)}));
        joined.push_back(Send(a, paths[4 * i + 2], "ReadStringFromPortTimed",
                              {QByteArray(5, '.'), n(5), n(-1), Ms(60000)}));
        QDBusMessage invoke =
            QDBusMessage::createMethodCall(kPlain, paths[4 * i + 3], "Tolvan32.Dispatch", "Invoke");
        invoke << static_cast<int>(kDispReadStringFromPortTimed) << 1
               << QVariant::fromValue(QVariantList{QByteArray(8, '.'), n(8), n('!'), Ms(60000)});
        invoked.push_back(a.asyncCall(invoke, 60000));
    }
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 4 * kEach; }));

    // Another client's call goes to a worker and is answered while they all wait.
    QDBusPendingCall other = Send(b, pathB, "GetPortSettings");
    EXPECT_TRUE(SpinUntil([&] { return other.isFinished(); }, 5000))
        << "the other client waited for a worker";
    EXPECT_EQ(other.reply().arguments().value(1).toInt(), 9600);

    // Two pieces, the second with both terminators.
    ASSERT_TRUE(com2_.Write("ab"));
    ASSERT_TRUE(com2_.Write("cd\r\n!"));
    for (QDBusPendingCall& call : bytes) {
        const QDBusMessage got = Wait(call);
        EXPECT_EQ(Result(got), 4);
        EXPECT_EQ(got.arguments().value(1).toByteArray(), QByteArray("abcd.."));
    }
    for (QDBusPendingCall& call : lines) {
        const QDBusMessage got = Wait(call);
        EXPECT_EQ(Result(got), 4);
        EXPECT_EQ(got.arguments().value(1).toByteArray(), QByteArray("abcd\0\0\0\0", 8));
    }
    for (QDBusPendingCall& call : joined) {
        const QDBusMessage got = Wait(call);
        EXPECT_EQ(Result(got), 4);
        EXPECT_EQ(got.arguments().value(1).toByteArray(), QByteArray("abcd\0", 5));
    }
    for (QDBusPendingCall& call : invoked) {
        const QDBusMessage got = Wait(call);
        ASSERT_EQ(got.type(), QDBusMessage::ReplyMessage) << got.errorMessage().toStdString();
        EXPECT_EQ(got.arguments().value(0).value<QDBusVariant>().variant().toInt(), 6);
        QList<QVariant> args;
        ASSERT_TRUE(tdbus::UnpackVariantArray(got.arguments().value(1), args));
        ASSERT_EQ(args.size(), 4);
        EXPECT_EQ(args[0].toByteArray(), QByteArray("abcd\r\n\0\0", 8));
    }

    // The deadline: what came by then. A closed channel: what it had, at once.
    for (int i : {0, 1}) Wait(Send(a, paths[i], "ClearRBuff"));
    QDBusPendingCall partial =
        Send(a, paths[0], "ReadFromPortTimed", {QByteArray(4, '\0'), n(4), Ms(300)});
    QDBusPendingCall closed =
        Send(a, paths[1], "ReadStringFromPortTimed", {QByteArray(4, '.'), n(4), n(13), Ms(60000)});
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == 2; }));
    ASSERT_TRUE(com2_.Write("xy"));
    const QDBusMessage got = Wait(partial);
    EXPECT_EQ(Result(got), 2);
    EXPECT_EQ(got.arguments().value(1).toByteArray(), QByteArray("xy\0\0", 4));
    EXPECT_FALSE(closed.isFinished());
    CloseFromAnotherClient(b, paths[1]);
    EXPECT_TRUE(SpinUntil([&] { return closed.isFinished(); }, 5000));
    EXPECT_EQ(Result(closed.reply()), 0);
}

// Modem commands wait for the modem's answer without a worker: more commands than there
// are workers, each on a modem of its own, wait while another client is served; each answers
// as the blocking member did, and a channel's next call waits for its command's answer.
TEST_F(ConcurrentCalls, ModemCommandsWaitForTheirAnswerWithoutAWorker) {
    const QString kModem = QStringLiteral("DaRi32.Document");
    constexpr int kModems = static_cast<int>(tdbus::kCallWorkers) + 2;
    std::vector<std::unique_ptr<PtyPair>> lines;
    QDBusConnection a = bus_->Connect();
    QDBusConnection b = bus_->Connect();
    const auto n = [](int v) { return QVariant::fromValue<short>(static_cast<short>(v)); };
    auto modemCall = [&](const QString& path, const QString& member, const QVariantList& args) {
        QDBusMessage call = QDBusMessage::createMethodCall(kModem, path, kModem, member);
        call.setArguments(args);
        return a.asyncCall(call, 60000);
    };
    std::vector<QString> paths;
    for (int i = 0; i < kModems; ++i) {
        lines.push_back(std::make_unique<PtyPair>());
        const int com = 10 + i;
        plat::DeviceMap::Set(com, lines.back()->slavePath());
        ASSERT_NE(registry_.ProbePort(com), nullptr);
        const QDBusMessage made = Wait(a.asyncCall(QDBusMessage::createMethodCall(
            kModem, "/", "Tolvan32.ClassFactory", "CreateInstance")));
        const QString path = made.arguments().value(0).value<QDBusObjectPath>().path();
        ASSERT_FALSE(path.isEmpty()) << made.errorMessage().toStdString();
        ASSERT_EQ(Result(Wait(Send(a, path, "ConnectToPort", {n(com), 9600, n('N'), n(8), n(1)}))),
                  0);
        for (const auto& [name, value] : {std::pair{"nCommandMode", 2}, {"nFixedDelay", 30000}}) {
            QDBusMessage set = QDBusMessage::createMethodCall(
                kModem, path, QStringLiteral("org.freedesktop.DBus.Properties"), "Set");
            set << kModem << QString::fromLatin1(name)
                << QVariant::fromValue(
                       QDBusVariant(QVariant::fromValue<short>(static_cast<short>(value))));
            ASSERT_EQ(Wait(a.asyncCall(set)).type(), QDBusMessage::ReplyMessage);
        }
        paths.push_back(path);
    }
    const QString pathB = Connected(b, 3);

    std::vector<QDBusPendingCall> commands;
    for (int i = 0; i + 1 < kModems; ++i)
        commands.push_back(modemCall(paths[i], "DoCommand", {QStringLiteral("ATZ\r")}));
    QDBusPendingCall reg = modemCall(paths.back(), "GetRegister", {n(7)});
    // The same lane (a call answered by a worker): behind the register read.
    QDBusMessage read =
        QDBusMessage::createMethodCall(kModem, paths.back(), kPlain, "ReadFromPortTimed");
    read.setArguments({QByteArray(4, '.'), n(4), Ms(0)});
    QDBusPendingCall after = a.asyncCall(read, 60000);
    ASSERT_TRUE(SpinUntil([&] { return server_->CallsUnderWay() == kModems + 1; }));

    QDBusPendingCall other = Send(b, pathB, "GetPortSettings");
    EXPECT_TRUE(SpinUntil([&] { return other.isFinished(); }, 5000))
        << "the other client waited for a worker";
    for (const QDBusPendingCall& call : commands) EXPECT_FALSE(call.isFinished());
    EXPECT_FALSE(reg.isFinished()) << (reg.isFinished() ? Result(reg.reply()) : 0);
    EXPECT_FALSE(after.isFinished()) << "a call overtook the command of its channel";

    for (int i = 0; i + 1 < kModems; ++i) {
        const auto sent = lines[static_cast<std::size_t>(i)]->ReadAvailable(50);
        EXPECT_EQ(std::string(sent.begin(), sent.end()), "ATZ\r");
        ASSERT_TRUE(lines[static_cast<std::size_t>(i)]->Write("\r\nOK\r\n"));
    }
    for (QDBusPendingCall& call : commands) EXPECT_EQ(Result(Wait(call)), 0);
    const auto asked = lines.back()->ReadAvailable(50);
    EXPECT_EQ(std::string(asked.begin(), asked.end()), "ATS7?\r");
    ASSERT_TRUE(lines.back()->Write("ATS7?\r\r\n042\r\n\r\nOK\r\n"));
    EXPECT_EQ(Result(Wait(reg)), 42);
    EXPECT_EQ(Result(Wait(after)), 0) << "the register read took its answer";
}

TEST(CallTimeout, MembersThatWaitAreAwaitedBeyondTheirWait) {
    using tdbus::CallTimeoutMs;
    const std::vector<tfw::Variant> noArgs;
    const std::vector<tfw::Variant> charTimed{tfw::Variant::I4(60000)};
    const std::vector<tfw::Variant> bytesTimed{tfw::Variant::StringRef({0, 0}), tfw::Variant::I2(2),
                                               tfw::Variant::I4(40000)};
    const std::vector<tfw::Variant> longest{tfw::Variant::I4(INT_MAX)};
    const std::vector<tfw::Variant> command{tfw::Variant::String("AT\r")};

    // Timed reads: their own milliseconds, on each class with its identifiers.
    EXPECT_EQ(CallTimeoutMs("RiVo32.Document", kDispReadCharFromPortTimed, 1, charTimed), 85000);
    EXPECT_EQ(CallTimeoutMs("ViDA.Document", 0x10000 + kDispReadCharFromPortTimed, 1, charTimed),
              85000);
    EXPECT_EQ(CallTimeoutMs("DaRi32.Document", 0x10000 + kDispReadFromPortTimed, 1, bytesTimed),
              65000);
    EXPECT_EQ(CallTimeoutMs("RiVo32.Document", kDispReadCharFromPortTimed, 1, longest), INT_MAX);
    // Identifier 26 on a modem channel is no timed read (the modem has 14 members).
    EXPECT_EQ(CallTimeoutMs("DaRi32.Document", kDispReadCharFromPortTimed, 1, charTimed), 25000);
    // Modem commands wait as the work mode says; sending without waiting does not.
    EXPECT_EQ(CallTimeoutMs("DaRi32.Document", kDispDoCommand, 1, command),
              25000 + tdbus::kLongestModemWaitMs);
    EXPECT_EQ(CallTimeoutMs("DaRi32.Document", kDispSendString, 1, command), 25000);
    // The same identifier on a plain channel is ReadFromPort, which does not wait.
    EXPECT_EQ(CallTimeoutMs("RiVo32.Document", kDispDoCommand, 1, command), 25000);
    EXPECT_EQ(CallTimeoutMs("RiVo32.Document", kDispTBuffSize, 2, noArgs), 25000);
}

}  // namespace
}  // namespace tolvan::test
