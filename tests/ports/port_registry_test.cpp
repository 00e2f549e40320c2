// The port registry: which COM numbers it offers, connecting channels through it, the
// default ring sizes, idle service, and what deleting ports leaves behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/server_lock.h"
#include "channels/doc_comm.h"
#include "ports/serial_driver.h"
#include "tests/ports/shared_port_fixture.h"

namespace tolvan::sptest {
namespace {

class PortRegistryTest : public SharedPortTest {};

// COM1..COM8, and the higher numbers the device map holds (a device numbered while the
// server ran keeps a usable number after a restart).
TEST_F(PortRegistryTest, ProbeOffersTheComNumbersThatOpen) {
    auto one = MapSim(1);
    plat::DeviceMap::Set(2, "/dev/tolvan-no-such-device");
    plat::DeviceMap::Set(3, "loop://registry");
    auto held = MapSim(4);
    auto six = MapSim(6);
    auto nine = MapSim(9);
    const plat::CommHandle other = plat::OpenComm("COM4");
    ASSERT_NE(other, plat::kInvalidCommHandle);

    EXPECT_EQ(registry.ProbePorts(), 4);
    ASSERT_EQ(registry.Ports().size(), 4u);
    EXPECT_EQ(registry.Ports()[0]->PortNumber(), 1);
    EXPECT_EQ(registry.Ports()[1]->PortNumber(), 3);
    EXPECT_EQ(registry.Ports()[2]->PortNumber(), 6);
    EXPECT_EQ(registry.Ports()[3]->PortNumber(), 9) << "mapped beyond COM8";
    EXPECT_EQ(registry.FindPort(2), nullptr) << "no device";
    EXPECT_EQ(registry.FindPort(4), nullptr) << "held by someone else at start-up";
    EXPECT_EQ(registry.FindPort(10), nullptr) << "not mapped";
    EXPECT_EQ(registry.FindPort(6)->PortName(), "COM6");
    EXPECT_FALSE(one->IsOpen()) << "probing closes what it opened";
    EXPECT_FALSE(six->IsOpen());

    // Probing again keeps the ports it has and adds what can be opened now.
    plat::CloseComm(other);
    CSharedPort* first = registry.FindPort(1);
    EXPECT_EQ(registry.ProbePorts(), 5);
    EXPECT_EQ(registry.FindPort(1), first);
    EXPECT_NE(registry.FindPort(4), nullptr);
    EXPECT_EQ(registry.ProbePort(4), registry.FindPort(4)) << "one port per number";
    EXPECT_EQ(registry.ProbePort(2), nullptr);

    ChannelDouble a;
    EXPECT_EQ(registry.ConnectChannel(&a, 2, 9600, 'N', 8, 1), -2);
    EXPECT_EQ(registry.ConnectChannel(nullptr, 1, 9600, 'N', 8, 1), -2);
    EXPECT_EQ(a.Port(), nullptr);
    EXPECT_TRUE(a.hints.empty());
}

// A device slow to open holds up only the probe's own thread; connects made meanwhile wait
// for it (or for their number) instead of finding no port. The probe is held exactly where
// it tries a device.
TEST_F(PortRegistryTest, TheStartUpProbeRunsOnItsOwnAndConnectsMeanwhileWaitForIt) {
    auto one = MapSim(1);
    plat::DeviceMap::Set(2, "/dev/tolvan-no-such-device");
    auto three = MapSim(3);
    const auto self = std::this_thread::get_id();
    std::mutex m;
    std::condition_variable cv;
    bool gateOpen = false;
    int connectsWaiting = 0;
    std::atomic<int> found{-100}, missing{-100};
    ChannelDouble a, b;
    std::thread connectFound, connectMissing;
    {
        plat::ScopedLockReleaseHook hook([&](plat::LockRelease point) {
            std::unique_lock lock(m);
            if (point == plat::LockRelease::kStartupProbe) {
                ++connectsWaiting;
                cv.notify_all();
            } else if (point == plat::LockRelease::kPortProbe &&
                       std::this_thread::get_id() != self) {
                // The probe, at its first device: held until the test has seen the waits.
                cv.wait_for(lock, std::chrono::seconds(10), [&] { return gateOpen; });
            }
        });
        CDocComm::SetPortRegistry(&registry);
        registry.StartProbe();
        EXPECT_TRUE(registry.Probing()) << "StartProbe waited for the probe";
        connectFound =
            std::thread([&] { found = registry.ConnectChannel(&a, 3, 9600, 'N', 8, 1); });
        connectMissing =
            std::thread([&] { missing = registry.ConnectChannel(&b, 2, 9600, 'N', 8, 1); });
        {
            std::unique_lock lock(m);
            EXPECT_TRUE(
                cv.wait_for(lock, std::chrono::seconds(10), [&] { return connectsWaiting >= 2; }));
            EXPECT_EQ(found, -100) << "a connect did not wait for the probe";
            EXPECT_EQ(missing, -100);
            // The window's list does not wait: what is found so far (nothing yet).
            EXPECT_EQ(CDocComm::AvailablePorts(false), "");
            gateOpen = true;
            cv.notify_all();
        }
        connectFound.join();
        connectMissing.join();
    }
    EXPECT_EQ(found, 0);
    EXPECT_EQ(a.Port(), registry.FindPort(3));
    EXPECT_EQ(missing, -2) << "no device: refused once the probe has ended";
    EXPECT_EQ(CDocComm::AvailablePorts(true), "COM1,COM3");
    CDocComm::SetPortRegistry(nullptr);
    EXPECT_FALSE(registry.Probing());
    EXPECT_NE(registry.FindPort(1), nullptr);
    EXPECT_EQ(registry.Ports().size(), 2u);
    a.Disconnect();
}

TEST_F(PortRegistryTest, ConnectingOpensRefreshesAndUpdatesTheChannel) {
    auto dev = MapSim(1);
    ASSERT_EQ(registry.ProbePorts(), 1);
    ChannelDouble a, b;
    ASSERT_EQ(registry.ConnectChannel(&a, 1, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a.Port(), registry.FindPort(1));
    EXPECT_EQ(a.titleRefreshes, 1);
    EXPECT_EQ(a.title, "COM1 9600 N 8 1");
    ASSERT_EQ(a.hints.size(), 1u);
    EXPECT_EQ(a.hints[0], 0);
    EXPECT_TRUE(dev->IsOpen());
    EXPECT_FALSE(registry.NeedsIdleService()) << "a serial port needs no idle time";

    // The second connection's settings win, and its status is the result.
    EXPECT_EQ(registry.ConnectChannel(&b, 1, 1200, 'O', 7, 1), 0);
    EXPECT_EQ(a.title, "COM1 1200 O 7 1");
    EXPECT_EQ(dev->Settings().BaudRate, 1200u);
    ChannelDouble c;
    EXPECT_EQ(registry.ConnectChannel(&c, 1, 1200, 'Q', 7, 1), -26);
    EXPECT_EQ(c.hints.back(), 0) << "views are updated on failure too";
}

TEST_F(PortRegistryTest, DefaultRingSizesApplyToPortsOpenedLater) {
    MapSim(1);
    MapSim(2);
    ASSERT_EQ(registry.ProbePorts(), 2);
    EXPECT_EQ(registry.DefaultSizes().rx, 1050u);
    EXPECT_EQ(registry.DefaultSizes().tx, 1050u);

    EXPECT_FALSE(registry.SetDefaultSizes(0, 500));
    EXPECT_EQ(registry.DefaultSizes().rx, 1050u) << "0 is refused, the old size kept";
    EXPECT_EQ(registry.DefaultSizes().tx, 500u);
    EXPECT_FALSE(registry.SetDefaultSizes(0x80000000u, 0xFFFFFFFFu));
    EXPECT_EQ(registry.DefaultSizes().rx, 1050u);
    EXPECT_EQ(registry.DefaultSizes().tx, 500u);

    ChannelDouble a, b;
    ASSERT_EQ(registry.ConnectChannel(&a, 1, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a.Rx()->Size(), 1050u);
    EXPECT_EQ(a.Tx()->Size(), 500u);

    EXPECT_TRUE(registry.SetDefaultSizes(64, 128));
    ChannelDouble a2;
    ASSERT_EQ(registry.ConnectChannel(&a2, 1, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(a2.Rx()->Size(), 1050u) << "an open port keeps its rings";
    ASSERT_EQ(registry.ConnectChannel(&b, 2, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(b.Rx()->Size(), 64u);
    EXPECT_EQ(b.Tx()->Size(), 128u);
    EXPECT_EQ(DefaultRxQueueSize(), 64u) << "the driver's queues follow the defaults";
}

TEST_F(PortRegistryTest, DeletingAnOpenPortClosesTheDeviceAndFreesTheRings) {
    auto dev = MapSim(1);
    const size_t blocks = plat::GlobalBlockCount();
    RingSizes sizes;
    auto port = std::make_unique<CSharedPort>(1, sizes);
    ASSERT_EQ(port->Open(9600, 'N', 8, 1), 0);
    EXPECT_TRUE(dev->IsOpen());
    EXPECT_EQ(plat::GlobalBlockCount(), blocks + 2);
    port.reset();
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_EQ(plat::GlobalBlockCount(), blocks);
    EXPECT_EQ(OpenPortCount(), 0) << "no port object left on the open port list";
}

}  // namespace
}  // namespace tolvan::sptest
