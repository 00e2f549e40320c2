// What may happen where the server lock is let go, made to happen there every run through
// the lock-release hook: a port closed, set anew or joined while the infra-red idle service
// waits, or the list of ports grows then; a second connect while the first connects over the
// network; a network close that waits for its peer.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/net_closer.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/ir_driver.h"
#include "tests/ports/shared_port_fixture.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/message_box_recorder.h"

namespace tolvan::sptest {
namespace {

using plat::LockRelease;

constexpr int kCom = 4;

// --- The seam itself -------------------------------------------------------------------------

TEST(LockReleaseHook, RunsWhereTheWaitLetsTheLockGoAndNotNested) {
    std::vector<LockRelease> seen;
    bool heldInHook = true;
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            seen.push_back(point);
            heldInHook = plat::ServerLock::HeldByMe();
            // The hook's own waits do not call it again.
            plat::ServerLockGuard inner;
            plat::Sleep(0);
        });
        plat::Sleep(0);  // without the lock: nothing is let go
        EXPECT_TRUE(seen.empty());
        plat::ServerLockGuard guard;
        plat::ServerLockGuard nested;
        int calls = 0;
        plat::WaitFor([&] { return ++calls == 2; }, 1000);
        EXPECT_EQ(plat::ServerLock::DepthHeldByMe(), 2) << "both levels back";
    }
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], LockRelease::kWait);
    EXPECT_FALSE(heldInHook);
}

// --- Infra-red: the link under the idle service ----------------------------------------------

enum class IrAction { kCloseLastChannel, kSetLine, kConnectSecond, kPortsFound };

class IrIdleTest : public SharedPortTest, public ::testing::WithParamInterface<IrAction> {
protected:
    void SetUp() override {
        SharedPortTest::SetUp();
        dev = MapSim(kCom);
        ProbeOnly(kCom);
        sim = std::make_unique<test::IrTransceiverSim>();
        dev->SetPeer(std::make_shared<test::IrSimPeer>(*sim));
    }
    void TearDown() override {
        dev->SetPeer(nullptr);
        SharedPortTest::TearDown();
    }

    test::MessageBoxRecorder boxRecorder;
    plat::FakeTickSource ticks{1000};
    plat::ScopedTickSource scopedTicks{ticks};
    std::shared_ptr<plat::SimDevice> dev;
    std::unique_ptr<test::IrTransceiverSim> sim;
};

// The idle service waits on the device with the lock let go; a client closes the port, sets
// its line or joins it right then. The service must finish on the link it had (now closed)
// without touching freed memory (the address sanitizer watches), without a message about a
// device that is merely closed, and the port must be usable after.
TEST_P(IrIdleTest, AClientChangingThePortWhileTheIdleServiceWaitsFreesNothingUnderIt) {
    ChannelDouble a, b;
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 9600, 0, 8, 1), 0);
    ASSERT_TRUE(port->NeedsIdleService());
    const IrLinkRecord* before = IrLink(port->Port());

    bool acted = false;
    int result = -100;
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            if (acted || point != LockRelease::kWait) return;
            acted = true;
            switch (GetParam()) {
                case IrAction::kCloseLastChannel:
                    a.Disconnect();
                    result = 0;
                    break;
                case IrAction::kSetLine:
                    result = port->Reconfigure(9600, 0, 8, 1);
                    break;
                case IrAction::kConnectSecond:
                    result = registry.ConnectChannel(&b, kCom, 9600, 0, 8, 1);
                    break;
                case IrAction::kPortsFound:
                    // Devices that appear while running get ports: the list grows.
                    for (int com = 10; com < 30; ++com) {
                        MapSim(com, "found");
                        if (registry.ProbePort(com) == nullptr) result = -1;
                    }
                    if (result != -1) result = 0;
                    break;
            }
        });
        ASSERT_EQ(a.WriteToPort(B("ping")), 4u);
        for (int i = 0; i < 50 && !acted; ++i) registry.IdleService();
    }
    ASSERT_TRUE(acted) << "the idle service never waited";
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(boxRecorder.texts.empty()) << boxRecorder.texts.front();

    if (GetParam() == IrAction::kPortsFound) {
        EXPECT_EQ(registry.Ports().size(), 21u);
        EXPECT_TRUE(port->NeedsIdleService()) << "the link goes on";
        return;
    }
    if (GetParam() == IrAction::kCloseLastChannel) {
        EXPECT_FALSE(port->IsOpen());
        EXPECT_FALSE(registry.NeedsIdleService());
        const plat::CommHandle h = plat::OpenComm("COM" + std::to_string(kCom));
        EXPECT_NE(h, plat::kInvalidCommHandle) << "the device is free again";
        plat::CloseComm(h);
        return;
    }
    // A new link serves the port, and data still crosses it.
    ASSERT_TRUE(port->NeedsIdleService());
    EXPECT_NE(IrLink(port->Port()), before);
    ASSERT_EQ(a.WriteToPort(B("after")), 5u);
    for (int i = 0; i < 200 && sim->Received().size() < 5; ++i) registry.IdleService();
    const Bytes received = sim->Received();
    ASSERT_GE(received.size(), 5u);
    EXPECT_EQ(Bytes(received.end() - 5, received.end()), B("after"));
}

INSTANTIATE_TEST_SUITE_P(LockRelease, IrIdleTest,
                         ::testing::Values(IrAction::kCloseLastChannel, IrAction::kSetLine,
                                           IrAction::kConnectSecond, IrAction::kPortsFound));

// --- Network ports ---------------------------------------------------------------------------

// The far end of a network port as ser2net plays it: it takes every connection, keeps each
// until our side closes, then closes its own. With `lockBeforeClose` it takes the server
// lock before it closes (a peer that cannot close while the server holds it up).
class NetPeer {
public:
    explicit NetPeer(bool lockBeforeClose = false) : lockBeforeClose_(lockBeforeClose) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ADD_FAILURE() << "no listener";
            return;
        }
        port_ = ntohs(a.sin_port);
        if (::pipe2(stop_, O_CLOEXEC) != 0) ADD_FAILURE() << "no pipe";
        thread_ = std::thread([this] { Run(); });
    }
    ~NetPeer() {
        if (thread_.joinable()) {
            (void)!::write(stop_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {listener_, stop_[0], stop_[1]})
            if (fd >= 0) ::close(fd);
        for (const Conn& c : conns_) ::close(c.fd);
    }

    std::string Url(const std::string& scheme = "socket") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

    // Waits (real time, at most 5 s) until `live` connections are open; false if not.
    bool WaitLive(int live) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return Live() == live; });
    }
    int LiveNow() {
        std::lock_guard lock(mutex_);
        return Live();
    }
    // Connections taken since the start, closed ones included.
    int Accepted() {
        std::lock_guard lock(mutex_);
        return static_cast<int>(conns_.size());
    }
    // Sends to every open connection.
    void SendToAll(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        for (const Conn& c : conns_)
            if (!c.closed) (void)!::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

private:
    struct Conn {
        int fd;
        bool closed;
    };
    int Live() const {
        int n = 0;
        for (const Conn& c : conns_) n += c.closed ? 0 : 1;
        return n;
    }
    void Run() {
        for (;;) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            {
                std::lock_guard lock(mutex_);
                for (const Conn& c : conns_)
                    if (!c.closed) fds.push_back({c.fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) return;
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                std::lock_guard lock(mutex_);
                if (fd >= 0) conns_.push_back({fd, false});
                changed_.notify_all();
            }
            for (size_t k = 2; k < fds.size(); ++k) {
                if (!fds[k].revents) continue;
                uint8_t sink[256];
                const ssize_t r = ::recv(fds[k].fd, sink, sizeof sink, MSG_DONTWAIT);
                if (r > 0 || (r < 0 && (errno == EAGAIN || errno == EINTR))) continue;
                // Our side closed: close this one too.
                std::unique_ptr<plat::ServerLockGuard> held;
                if (lockBeforeClose_) held = std::make_unique<plat::ServerLockGuard>();
                std::lock_guard lock(mutex_);
                for (Conn& c : conns_)
                    if (c.fd == fds[k].fd) {
                        ::shutdown(c.fd, SHUT_RDWR);
                        c.closed = true;
                    }
                changed_.notify_all();
            }
        }
    }

    const bool lockBeforeClose_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Conn> conns_;
    std::thread thread_;
};

class NetPortTest : public SharedPortTest {
protected:
    void Map(const NetPeer& peer, const std::string& scheme = "socket") {
        plat::DeviceMap::Set(kCom, peer.Url(scheme));
        ProbeOnly(kCom);
    }
};

// Opening a network port connects to its peer once. A server that serves one connection per
// port would otherwise see a connect, a hang-up and a second connect, and the open would wait
// for the first connection to finish closing. The one connection must carry the port's bytes.
class NetOpenTest : public NetPortTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NetOpenTest, OneOpenIsOneConnection) {
    NetPeer peer;
    Map(peer, GetParam());
    ChannelDouble a;
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(peer.WaitLive(1));
    peer.SendToAll(B("xyz"));
    Bytes got;
    for (int i = 0; i < 500 && got.size() < 3; ++i) {
        const Bytes r = a.ReadAll();
        got.insert(got.end(), r.begin(), r.end());
        if (got.size() < 3) ::poll(nullptr, 0, 10);
    }
    EXPECT_EQ(got, B("xyz"));
    a.Disconnect();
    ASSERT_TRUE(peer.WaitLive(0));
    EXPECT_EQ(peer.Accepted(), 1) << "connections made for one open";
}

INSTANTIATE_TEST_SUITE_P(Schemes, NetOpenTest, ::testing::Values("socket", "rfc2217"));

// Two channels connect to a closed network port at the same moment: the second arrives while
// the first connects with the lock let go. One connection must serve both, and it must go
// when both have left.
TEST_F(NetPortTest, TwoConnectsAtOnceOpenTheNetworkPortOnce) {
    NetPeer peer;
    Map(peer);
    ChannelDouble a, b;
    const auto self = std::this_thread::get_id();
    std::mutex m;
    std::condition_variable cv;
    bool secondArrived = false;
    std::thread second;
    int secondResult = -100;
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            if (std::this_thread::get_id() != self) {
                // The second connect let the lock go too: it waits, or connects itself.
                std::lock_guard lock(m);
                secondArrived = true;
                cv.notify_all();
                return;
            }
            if (point != LockRelease::kNetConnect || second.joinable()) return;
            second = std::thread(
                [&] { secondResult = registry.ConnectChannel(&b, kCom, 9600, 'N', 8, 1); });
            std::unique_lock lock(m);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return secondArrived; }));
        });
        EXPECT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 1), 0);
        second.join();
    }
    EXPECT_EQ(secondResult, 0);
    ASSERT_EQ(port->Channels().size(), 2u);
    EXPECT_EQ(a.Port(), b.Port());
    ASSERT_TRUE(peer.WaitLive(1)) << "connections open: " << peer.LiveNow();

    // Both channels read from the one connection's ring.
    peer.SendToAll(B("xyz"));
    Bytes gotA, gotB;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((gotA.size() < 3 || gotB.size() < 3) && std::chrono::steady_clock::now() < deadline) {
        const Bytes ra = a.ReadAll(), rb = b.ReadAll();
        gotA.insert(gotA.end(), ra.begin(), ra.end());
        gotB.insert(gotB.end(), rb.begin(), rb.end());
        if (gotA.size() < 3 || gotB.size() < 3) ::poll(nullptr, 0, 2);
    }
    EXPECT_EQ(gotA, B("xyz"));
    EXPECT_EQ(gotB, B("xyz"));

    a.Disconnect();
    b.Disconnect();
    EXPECT_TRUE(peer.WaitLive(0)) << "a connection outlived every channel";
}

// Closing a network port waits for the peer to close its side. That wait must not hold the
// server lock: this peer takes the lock before it closes, so a close that held it could only
// end by its time limit, never by the peer.
TEST_F(NetPortTest, AClosingNetworkPortWaitsForItsPeerWithoutTheServerLock) {
    NetPeer peer(/*lockBeforeClose=*/true);
    Map(peer);
    ChannelDouble a;
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(peer.WaitLive(1));
    const uint64_t byPeer = plat::ClosesEndedByPeer();
    a.Disconnect();
    ASSERT_TRUE(peer.WaitLive(0));
    for (int i = 0; i < 500 && plat::LingeringCloses() > 0; ++i) ::poll(nullptr, 0, 10);
    EXPECT_EQ(plat::LingeringCloses(), 0);
    EXPECT_GE(plat::ClosesEndedByPeer(), byPeer + 1) << "the close gave up on its peer";

    // Opened again at once: the port is served again by a new connection.
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 1), 0);
    EXPECT_TRUE(peer.WaitLive(1));
}

}  // namespace
}  // namespace tolvan::sptest
