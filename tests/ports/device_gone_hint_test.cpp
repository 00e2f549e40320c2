// A shared port on a real pty names its device, finds it gone once the far end hangs up, and
// tells the channels of that port - and only those - once per opening.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/ticks.h"
#include "ports/port_client.h"
#include "ports/port_registry.h"
#include "tests/support/channel_double.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

namespace tolvan::test {
namespace {

long GoneHints(const ChannelDouble& c) {
    return std::count(c.hints.begin(), c.hints.end(), kHintDeviceGone);
}

TEST(DeviceGoneHint, PortNamesItsDeviceLooksWithoutTakingAndHintsItsOwnChannelsOncePerOpening) {
    ScratchDir locks;
    PtyPair first;
    PtyPair other;
    MappedPort mapped;
    ASSERT_EQ(mapped.Map(2, first.slavePath(), locks.path()), 1);
    plat::DeviceMap::Set(3, other.slavePath());
    PortRegistry& registry = mapped.registry;
    ASSERT_EQ(registry.ProbePorts(), 2);
    ChannelDouble a, b, c;
    ASSERT_EQ(registry.ConnectChannel(&a, 2, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(registry.ConnectChannel(&b, 2, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(registry.ConnectChannel(&c, 3, 9600, 'N', 8, 1), 0);
    CSharedPort& port = *registry.FindPort(2);
    EXPECT_EQ(port.DeviceTarget(), first.slavePath());
    EXPECT_EQ(registry.FindPort(3)->DeviceTarget(), other.slavePath());

    // Looking at a live device leaves its bytes for the channels.
    ASSERT_TRUE(first.Write("abc"));
    pollfd ready{port.ReceiveWaitFd(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 2000), 1) << "the bytes wait in the device";
    EXPECT_FALSE(port.DeviceGone());
    std::string got;
    plat::WaitFor(
        [&] {
            for (uint8_t byte : a.ReadAll()) got += static_cast<char>(byte);
            return got.size() >= 3;
        },
        5000);
    EXPECT_EQ(got, "abc");
    EXPECT_EQ(GoneHints(a) + GoneHints(b) + GoneHints(c), 0);

    first.CloseMaster();
    EXPECT_TRUE(port.DeviceGone());
    EXPECT_TRUE(a.ReadAll().empty());
    a.WriteToPort("x");
    EXPECT_FALSE(port.DeviceAccepts());
    EXPECT_EQ(b.ReadAll(), (std::vector<uint8_t>{'a', 'b', 'c'}))
        << "what came before stays for every channel";
    EXPECT_EQ(GoneHints(a), 1) << "once, however many failures follow";
    EXPECT_EQ(GoneHints(b), 1) << "the channel that did not read is told too";
    EXPECT_EQ(GoneHints(c), 0) << "another port's channel is not";
    EXPECT_FALSE(registry.FindPort(3)->DeviceGone());

    // Plugged in again: the port reopens on the new device, and a new loss is told again.
    a.Disconnect();
    b.Disconnect();
    EXPECT_EQ(port.DeviceTarget(), "") << "closed";
    EXPECT_FALSE(port.DeviceGone());
    PtyPair second;
    plat::DeviceMap::Set(2, second.slavePath());
    ASSERT_EQ(registry.ConnectChannel(&a, 2, 9600, 'N', 8, 1), 0);
    EXPECT_EQ(port.DeviceTarget(), second.slavePath());
    EXPECT_FALSE(port.DeviceGone());
    second.CloseMaster();
    EXPECT_FALSE(port.DeviceAccepts());
    EXPECT_EQ(GoneHints(a), 2);
    EXPECT_EQ(GoneHints(c), 0);
}

}  // namespace
}  // namespace tolvan::test
