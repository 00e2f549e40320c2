// Devices found while the server runs, in a device folder of the test's with links to ptys:
// a new device gets the next free COM number at once and a port the channels can connect to;
// one first seen by its kernel name keeps its number under its stable name; nothing wakes
// the watcher while nothing comes or goes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/device_watcher.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/port_discovery.h"
#include "ports/port_registry.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

using Assignment = plat::DeviceMap::Assignment;

bool Eventually(const std::function<bool()>& done) {
    return plat::WaitFor(done, 5000);
}

}  // namespace
namespace test {
namespace {
// Rewrites an existing file in place (no new entry in its folder).
bool WriteText(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "r+");
    if (f == nullptr) f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}
}  // namespace
}  // namespace test
namespace {

std::string AvailablePorts() {
    CDocComm channel;
    std::array<uint8_t, 256> buffer{};
    channel.GetAvailableCOMM(buffer);
    return reinterpret_cast<const char*>(buffer.data());
}

class PortDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetLockDirectory(scratch_.path());
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetDeviceRoot(dev_);
        ASSERT_EQ(::mkdir(dev_.c_str(), 0755), 0);
        plat::DeviceMap::Set(1, "loop://");
        ASSERT_EQ(registry_.ProbePorts(), 1);
        CDocComm::SetPortRegistry(&registry_);
        PortDiscovery::Hooks hooks;
        hooks.assigned = [this](int com, const std::string& target) {
            std::lock_guard lock(mutex_);
            assigned_.push_back({com, target});
        };
        hooks.portsChanged = [this] { ++changes_; };
        discovery_ = std::make_unique<PortDiscovery>(registry_, std::move(hooks));
        ASSERT_TRUE(discovery_->Start());
        EXPECT_FALSE(discovery_->UsingUdev()) << "a device folder of its own is watched";
    }
    void TearDown() override {
        discovery_.reset();
        CDocComm::SetPortRegistry(nullptr);
        plat::DeviceMap::Clear();
        plat::SetLockDirectory("/var/lock");
    }
    std::vector<Assignment> Assigned() {
        std::lock_guard lock(mutex_);
        return assigned_;
    }
    bool HasPort(int com) {
        plat::ServerLockGuard lock;
        return registry_.FindPort(com) != nullptr;
    }

    test::ScratchDir scratch_;
    std::string dev_ = scratch_.path() + "/dev";
    PortRegistry registry_;
    std::unique_ptr<PortDiscovery> discovery_;
    std::mutex mutex_;
    std::vector<Assignment> assigned_;
    std::atomic<int> changes_{0};
};

TEST_F(PortDiscoveryTest, NewDeviceGetsTheNextNumberAndAPortAtOnce) {
    // serial/by-id does not exist yet: it is watched through the folder above it.
    test::PtyPair adapter;
    ASSERT_EQ(::mkdir((dev_ + "/serial").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dev_ + "/serial/by-id").c_str(), 0755), 0);
    const std::string stable = dev_ + "/serial/by-id/usb-Test_Adapter-if00";
    ASSERT_EQ(::symlink(adapter.slavePath().c_str(), stable.c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return HasPort(2); }));
    EXPECT_EQ(Assigned(), (std::vector<Assignment>{{2, stable}}));
    EXPECT_EQ(plat::DeviceMap::Lookup(2), stable);
    EXPECT_TRUE(Eventually([&] { return changes_ >= 1; })) << "told after the port was added";
    EXPECT_EQ(AvailablePorts(), "COM1,COM2") << "what the Select Port page offers";

    CDocComm channel;
    ASSERT_EQ(channel.ConnectToPort(2, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(adapter.Write("hi"));
    uint8_t got[2] = {};
    EXPECT_EQ(channel.ReadFromPortTimed(got, 2, 2000), 2);
    EXPECT_EQ(std::string(got, got + 2), "hi");

    // Unplugged, the number stays its own: the next device gets the next one.
    channel.CloseConnection();
    ASSERT_EQ(::unlink(stable.c_str()), 0);
    adapter.CloseMaster();
    test::PtyPair other;
    const std::string otherName = dev_ + "/serial/by-id/usb-Other-if00";
    ASSERT_EQ(::symlink(other.slavePath().c_str(), otherName.c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return HasPort(3); }));
    EXPECT_EQ(Assigned().back(), (Assignment{3, otherName}));
    EXPECT_EQ(plat::DeviceMap::Lookup(2), stable);
}

TEST_F(PortDiscoveryTest, KernelNameFirstMovesToTheStableNameKeepingItsNumber) {
    test::PtyPair adapter;
    const std::string kernel = dev_ + "/ttyUSB7";
    ASSERT_EQ(::symlink(adapter.slavePath().c_str(), kernel.c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return HasPort(2); }));
    EXPECT_EQ(Assigned(), (std::vector<Assignment>{{2, kernel}}));

    ASSERT_EQ(::mkdir((dev_ + "/serial").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dev_ + "/serial/by-id").c_str(), 0755), 0);
    const std::string stable = dev_ + "/serial/by-id/usb-Late_Name-if00";
    ASSERT_EQ(::symlink("../../ttyUSB7", stable.c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return Assigned().size() == 2; }));
    EXPECT_EQ(Assigned().back(), (Assignment{2, stable}));
    EXPECT_EQ(plat::DeviceMap::Lookup(2), stable);
    EXPECT_FALSE(plat::DeviceMap::Lookup(3).has_value()) << "no second number for it";
}

// A port mapped to a link in a folder of the user's, which does not exist yet when the
// server starts, gets its port when the link appears; with automatic numbering off nothing
// else is numbered.
TEST(PortDiscoveryMapped, LinkAnywhereGetsItsPortWhenItAppears) {
    test::ScratchDir scratch;
    plat::SetLockDirectory(scratch.path());
    plat::DeviceMap::Clear();
    plat::DeviceMap::SetAutoAssign(false);
    plat::DeviceMap::SetDeviceRoot(scratch.path() + "/dev");
    const std::string folder = scratch.path() + "/home/links";
    plat::DeviceMap::Set(7, folder + "/gps");
    PortRegistry registry;
    EXPECT_EQ(registry.ProbePorts(), 0);
    int assigned = 0;
    PortDiscovery discovery(registry, {[&](int, const std::string&) { ++assigned; }, {}});
    ASSERT_TRUE(discovery.Start());
    const auto folders = PortDiscovery::WatchFolders(false);
    EXPECT_NE(std::find(folders.begin(), folders.end(), folder), folders.end());

    test::PtyPair gps, stray;
    ASSERT_EQ(::mkdir((scratch.path() + "/home").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((scratch.path() + "/dev").c_str(), 0755), 0);
    ASSERT_EQ(::symlink(stray.slavePath().c_str(), (scratch.path() + "/dev/ttyUSB0").c_str()), 0);
    ASSERT_EQ(::symlink(gps.slavePath().c_str(), (folder + "/gps").c_str()), 0);
    ASSERT_TRUE(Eventually([&] {
        plat::ServerLockGuard lock;
        return registry.FindPort(7) != nullptr;
    }));
    discovery.Stop();
    EXPECT_EQ(assigned, 0);
    EXPECT_EQ(plat::DeviceMap::Entries().size(), 1u);
    plat::DeviceMap::Clear();
    plat::SetLockDirectory("/var/lock");
}

// The watcher sleeps through traffic on an open device and through changes to files that
// are not devices' entries; it wakes for a hang-up at once.
TEST(DeviceWatcher, SleepsThroughTrafficWakesForFolderAndHangUp) {
    test::ScratchDir dir;
    test::PtyPair pty;
    std::atomic<int> folders{0}, hangUps{0}, firsts{0};
    std::atomic<int> asked{0};
    plat::DeviceWatcher watcher(
        [&](const plat::DeviceWatcher::Wake& w) {
            folders += w.folders;
            hangUps += w.hangUp;
            firsts += w.first;
        },
        [&] {
            ++asked;
            return std::vector<int>{pty.slave()};
        });
    const std::string file = dir.path() + "/note";
    ASSERT_TRUE(test::WriteText(file, "one"));
    watcher.SetFolders({dir.path() + "/later/deeper"});
    ASSERT_TRUE(watcher.Start(false));
    ASSERT_TRUE(Eventually([&] { return firsts == 1 && asked >= 1; }));

    // Bytes both ways and a file rewritten in place: no wake.
    ASSERT_TRUE(test::WriteText(file, "two"));
    ASSERT_TRUE(pty.Write("traffic"));
    ASSERT_EQ(::write(pty.slave(), "back", 4), 4);
    const int askedBefore = asked;
    plat::WaitFor([] { return false; }, 100);
    EXPECT_EQ(folders + hangUps, 0);
    EXPECT_EQ(asked.load(), askedBefore) << "the thread slept";

    // A folder that was not there: its parent is watched until it comes.
    ASSERT_EQ(::mkdir((dir.path() + "/later").c_str(), 0755), 0);
    ASSERT_TRUE(Eventually([&] { return folders >= 1; }));
    ASSERT_EQ(::mkdir((dir.path() + "/later/deeper").c_str(), 0755), 0);
    ASSERT_TRUE(Eventually([&] { return folders >= 2; }));
    const int before = folders;
    ASSERT_EQ(::symlink("x", (dir.path() + "/later/deeper/link").c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return folders > before; }));

    pty.CloseMaster();
    ASSERT_TRUE(Eventually([&] { return hangUps >= 1; }));
    // Still named after it hung up: it does not wake the thread again and again.
    const int afterHangUp = asked;
    plat::WaitFor([] { return false; }, 100);
    EXPECT_LE(asked.load(), afterHangUp + 1);
    watcher.Stop();
}

}  // namespace
}  // namespace tolvan
