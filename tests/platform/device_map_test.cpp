// COM numbers to devices: names, the [Ports] section, and the search for serial devices.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "tests/support/pty_pair.h"

namespace tolvan::plat {
namespace {

class DeviceMapTest : public ::testing::Test {
protected:
    void SetUp() override { DeviceMap::Clear(); }
    void TearDown() override { DeviceMap::Clear(); }
};

TEST_F(DeviceMapTest, ComNames) {
    EXPECT_EQ(ParseComName("COM1"), 1);
    EXPECT_EQ(ParseComName("com12"), 12);
    EXPECT_EQ(ParseComName("\\\\.\\COM3"), 3);
    EXPECT_EQ(ParseComName("\\\\.\\cOm255"), 255);
    for (const char* bad :
         {"COM", "COM1x", "LPT1", "COM256", "COM-1", "XCOM1", "", "/dev/ttyS0", "COM99999999999"})
        EXPECT_EQ(ParseComName(bad), 0) << bad;
}

TEST_F(DeviceMapTest, PortsSectionSetsEntriesAndAutoAssignment) {
    EXPECT_TRUE(DeviceMap::AutoAssignEnabled());
    const int taken = DeviceMap::Configure({{"com1", "loop://"},
                                            {"COM2", "  sim://modem "},
                                            {"Auto", "0"},
                                            {"Colour", "blue"},
                                            {"COM3", ""}});
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(DeviceMap::Lookup(1), "loop://");
    EXPECT_EQ(DeviceMap::Lookup(2), "sim://modem");
    EXPECT_FALSE(DeviceMap::Lookup(3).has_value());
    EXPECT_FALSE(DeviceMap::AutoAssignEnabled());
    EXPECT_EQ(DeviceMap::AutoAssign(), 0);
    EXPECT_EQ(DeviceMap::Entries().size(), 2u);
    DeviceMap::Configure({{"auto", "1"}});
    EXPECT_TRUE(DeviceMap::AutoAssignEnabled());

    EXPECT_TRUE(DeviceMap::ReconnectEnabled());
    EXPECT_EQ(DeviceMap::DeviceRoot(), "/dev");
    EXPECT_EQ(DeviceMap::Configure({{"Reconnect", "off"}, {"DeviceRoot", "/tmp/devs/"}}), 0);
    EXPECT_FALSE(DeviceMap::ReconnectEnabled());
    EXPECT_EQ(DeviceMap::DeviceRoot(), "/tmp/devs");
    DeviceMap::Clear();
    EXPECT_TRUE(DeviceMap::ReconnectEnabled());
    EXPECT_EQ(DeviceMap::DeviceRoot(), "/dev");
}

// A fake /dev: stable USB names first, then ACM, USB and UART devices in natural order.
TEST_F(DeviceMapTest, SerialDevicesAreFoundInOrder) {
    test::ScratchDir root;
    const std::string dev = root.path();
    for (const char* n : {"ttyUSB0", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "tty0", "null"})
        std::ofstream(dev + "/" + n).put('x');
    ASSERT_EQ(::mkdir((dev + "/serial").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dev + "/serial/by-id").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../../ttyUSB0", (dev + "/serial/by-id/usb-FTDI_Cable-if00").c_str()), 0);
    const std::vector<std::string> expected = {
        dev + "/serial/by-id/usb-FTDI_Cable-if00",  // stands for ttyUSB0
        dev + "/ttyACM0", dev + "/ttyUSB2", dev + "/ttyUSB10",
        // ttyS0 is left out: no UART behind a plain file.
    };
    EXPECT_EQ(DeviceMap::FindSerialDevices(dev), expected);
}

TEST_F(DeviceMapTest, AutoAssignFillsFreeNumbersWithDevicesThatOpen) {
    test::ScratchDir root;
    test::PtyPair a, b;
    const std::string dev = root.path();
    ASSERT_EQ(::symlink(a.slavePath().c_str(), (dev + "/ttyACM0").c_str()), 0);
    ASSERT_EQ(::symlink(b.slavePath().c_str(), (dev + "/ttyUSB0").c_str()), 0);
    std::ofstream(dev + "/ttyUSB1").put('x');  // not a tty: skipped
    DeviceMap::Set(1, "loop://");
    DeviceMap::Set(4, dev + "/serial/by-id/usb-Unplugged-if00");  // kept while it is away
    EXPECT_EQ(DeviceMap::AutoAssign(dev), 2);
    EXPECT_EQ(DeviceMap::Lookup(1), "loop://");
    EXPECT_EQ(DeviceMap::Lookup(2), dev + "/ttyACM0");
    EXPECT_EQ(DeviceMap::Lookup(3), dev + "/ttyUSB0");
    // Devices already mapped are not given a second number, nor is a number that stands
    // for a device not there now.
    test::PtyPair c;
    ASSERT_EQ(::symlink(c.slavePath().c_str(), (dev + "/ttyUSB3").c_str()), 0);
    EXPECT_EQ(DeviceMap::AssignNewDevices(dev),
              (std::vector<DeviceMap::Assignment>{{5, dev + "/ttyUSB3"}}));
    EXPECT_EQ(DeviceMap::AutoAssign(dev), 0);
    // The assigned name opens the device.
    SetLockDirectory(root.path());
    const CommHandle h = OpenComm("COM3");
    EXPECT_NE(h, kInvalidCommHandle);
    CloseComm(h);
    SetLockDirectory("/var/lock");
}

}  // namespace
}  // namespace tolvan::plat
