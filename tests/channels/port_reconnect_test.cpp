// A device that goes away and comes back, played by ptys behind a link in a folder of the
// test's: remove the link and hang up the pty (gone), link a new pty at the same path (back).
// The watcher thread of the port discovery notices both; a channel document reading on its
// own thread carries on with the new device.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "channels/channel_stream.h"
#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/port_discovery.h"
#include "ports/port_registry.h"
#include "ports/status_text.h"
#include "tests/support/channel_double.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
constexpr int16_t kCom = 4;

Bytes Counter(int from, int to) {
    Bytes b;
    for (int i = from; i < to; ++i) b.push_back(static_cast<uint8_t>(i));
    return b;
}

// Real time, bounded: the watcher thread answers within milliseconds.
bool Eventually(const std::function<bool()>& done) {
    return plat::WaitFor(done, 5000);
}

class PortReconnect : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(links_);
        plat::SetLockDirectory(scratch_.path());
        plat::DeviceMap::Clear();
        plat::DeviceMap::SetAutoAssign(false);
        plat::DeviceMap::SetDeviceRoot(scratch_.path() + "/dev");
        plat::DeviceMap::Set(kCom, link_);
        Plug(*first_);
        ASSERT_EQ(registry_.ProbePorts(), 1);
        CDocComm::SetPortRegistry(&registry_);
        observer_ = CSharedPort::AddDeviceObserver(
            [this](CSharedPort&, CSharedPort::DeviceEvent e) { events_.push_back(e); });
    }
    void TearDown() override {
        discovery_.reset();
        CSharedPort::RemoveDeviceObserver(observer_);
        channel_.reset();
        watcher_.reset();
        CDocComm::SetPortRegistry(nullptr);
        plat::DeviceMap::Clear();
        plat::SetLockDirectory("/var/lock");
    }

    void Plug(test::PtyPair& pty) {
        ASSERT_EQ(::symlink(pty.slavePath().c_str(), link_.c_str()), 0);
    }
    void Unplug(test::PtyPair& pty) {
        ASSERT_EQ(::unlink(link_.c_str()), 0);
        pty.CloseMaster();
    }
    void StartDiscovery() {
        discovery_ = std::make_unique<PortDiscovery>(registry_, PortDiscovery::Hooks{});
        ASSERT_TRUE(discovery_->Start());
    }
    size_t Count(CSharedPort::DeviceEvent e) {
        plat::ServerLockGuard lock;
        return static_cast<size_t>(std::count(events_.begin(), events_.end(), e));
    }
    long Hints(int hint) {
        plat::ServerLockGuard lock;
        return std::count(watcher_->hints.begin(), watcher_->hints.end(), hint);
    }
    CSharedPort& Port() { return *registry_.FindPort(kCom); }

    test::ScratchDir scratch_;
    std::string links_ = scratch_.path() + "/links";
    std::string link_ = links_ + "/gps";
    std::unique_ptr<test::PtyPair> first_ = std::make_unique<test::PtyPair>();
    PortRegistry registry_;
    std::unique_ptr<CDocComm> channel_ = std::make_unique<CDocComm>();
    std::unique_ptr<test::ChannelDouble> watcher_ = std::make_unique<test::ChannelDouble>();
    std::unique_ptr<PortDiscovery> discovery_;
    std::vector<CSharedPort::DeviceEvent> events_;  // under the server lock
    int observer_ = 0;
};

TEST_F(PortReconnect, ReaderCarriesOnWithTheDeviceBackNothingDoubledSettingsKept) {
    StartDiscovery();
    ASSERT_EQ(channel_->ConnectToPort(kCom, 19200, 'N', 8, 2), 0);
    ASSERT_EQ(registry_.ConnectChannel(watcher_.get(), kCom, 19200, 'N', 8, 2), 0);

    // A client reading a counter on its own thread, in timed reads, throughout.
    std::mutex gotMutex;
    Bytes got;
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            uint8_t buf[64];
            const int16_t n = channel_->ReadFromPortTimed(buf, sizeof buf, 30);
            std::lock_guard lock(gotMutex);
            got.insert(got.end(), buf, buf + std::max<int16_t>(n, 0));
        }
    });
    auto received = [&] {
        std::lock_guard lock(gotMutex);
        return got.size();
    };

    ASSERT_TRUE(first_->Write(Counter(0, 100)));
    ASSERT_TRUE(Eventually([&] { return received() == 100; }));

    Unplug(*first_);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kLost) == 1; }))
        << "the hang-up is noticed without any read failing";
    EXPECT_EQ(Hints(kHintDeviceGone), 1);
    EXPECT_TRUE(channel_->IsConnected());
    EXPECT_EQ(channel_->GetPortError(), kStatusGeneralError) << "the loss is reported";
    EXPECT_EQ(channel_->GetPortError(), kStatusGeneralError) << "and stays until cleared";
    channel_->ClearPortError();
    uint8_t none[4];
    EXPECT_EQ(channel_->ReadFromPort(none, 4), 0);
    EXPECT_EQ(channel_->GetPortError(), 0) << "once: a read while gone does not report it again";
    uint8_t lost[] = {'x'};
    EXPECT_EQ(channel_->WriteToPort(lost, 1), 0) << "nothing is stored for a device that is gone";

    test::PtyPair second;
    Plug(second);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kBack) == 1; }));
    EXPECT_EQ(Hints(kHintDeviceBack), 1);
    EXPECT_EQ(Hints(kHintDeviceGone), 1);
    EXPECT_FALSE(Port().DeviceLost());
    EXPECT_EQ(Port().DeviceTarget(), link_);

    // The line settings the port had are the new device's.
    const termios t = second.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);

    ASSERT_TRUE(second.Write(Counter(100, 300)));
    ASSERT_TRUE(Eventually([&] { return received() >= 300; }));
    uint8_t ping[] = {'p', 'i', 'n', 'g'};
    EXPECT_EQ(channel_->WriteToPort(ping, 4), 4);
    EXPECT_EQ(second.Read(4), Bytes(ping, ping + 4)) << "writes reach the device that came back";
    stop = true;
    reader.join();
    EXPECT_EQ(got, Counter(0, 300)) << "every byte once, in order";
    EXPECT_EQ(watcher_->ReadAll(), Counter(0, 300)) << "the other channel saw the same";
}

// A terminal on the channel: its reader thread slept on the device that went; it carries
// on with the one that came back, both ways.
TEST_F(PortReconnect, TerminalCarriesOnBothWays) {
    StartDiscovery();
    ASSERT_EQ(channel_->ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    std::string path, error;
    ASSERT_EQ(OpenStreamTerminal(*channel_, false, &path, &error), 0) << error;
    const int terminal = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    auto readTerminal = [&](size_t n) {
        Bytes out;
        while (out.size() < n) {
            pollfd p{terminal, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0) break;
            uint8_t buf[256];
            const ssize_t got = ::read(terminal, buf, std::min(sizeof buf, n - out.size()));
            if (got <= 0) break;
            out.insert(out.end(), buf, buf + got);
        }
        return out;
    };
    // Bytes go to a terminal once a program has it open.
    ASSERT_TRUE(Eventually([&] { return DescribeStream(*channel_).programOpen; }));
    ASSERT_TRUE(first_->Write(Counter(0, 50)));
    EXPECT_EQ(readTerminal(50), Counter(0, 50));

    Unplug(*first_);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kLost) == 1; }));
    test::PtyPair second;
    Plug(second);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kBack) == 1; }));
    ASSERT_TRUE(second.Write(Counter(50, 120)));
    EXPECT_EQ(readTerminal(70), Counter(50, 120));
    ASSERT_EQ(::write(terminal, "up", 2), 2);
    EXPECT_EQ(second.Read(2), (Bytes{'u', 'p'})) << "the terminal's writes reach the new device";
    ::close(terminal);
}

TEST_F(PortReconnect, ReconnectOffLeavesThePortGone) {
    plat::DeviceMap::Configure({{"Reconnect", "0"}});
    StartDiscovery();
    ASSERT_EQ(registry_.ConnectChannel(watcher_.get(), kCom, 9600, 'N', 8, 1), 0);
    Unplug(*first_);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kLost) == 1; }));
    test::PtyPair second;
    Plug(second);
    discovery_->Rescan();  // what the watcher does on the new link, here for certain
    EXPECT_TRUE(Port().DeviceLost());
    EXPECT_EQ(Count(CSharedPort::DeviceEvent::kBack), 0u);
    EXPECT_EQ(Hints(kHintDeviceBack), 0);
    ASSERT_TRUE(second.Write("late"));
    EXPECT_TRUE(watcher_->ReadAll().empty());
    // Closing and connecting again is the way back then; what the device sent meanwhile
    // waited in it.
    watcher_->Disconnect();
    ASSERT_EQ(registry_.ConnectChannel(watcher_.get(), kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(second.Write("new"));
    Bytes got;
    ASSERT_TRUE(Eventually([&] {
        const Bytes more = watcher_->ReadAll();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 7;
    }));
    EXPECT_EQ(std::string(got.begin(), got.end()), "latenew");
}

// A device that comes back before anything noticed it was gone, and one held by another
// program when it comes back: the port waits for it to be free.
TEST_F(PortReconnect, BackBeforeAnyoneLookedAndBusyWhenBack) {
    ASSERT_EQ(registry_.ConnectChannel(watcher_.get(), kCom, 9600, 'N', 8, 1), 0);
    Unplug(*first_);
    test::PtyPair second;
    Plug(second);
    StartDiscovery();  // its first round finds the port lost and the device back
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kBack) == 1; }));
    EXPECT_EQ(Hints(kHintDeviceGone), 1);
    EXPECT_EQ(Hints(kHintDeviceBack), 1);

    // Gone again; back, but another program holds it.
    ASSERT_EQ(::unlink(link_.c_str()), 0);
    second.CloseMaster();
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kLost) == 2; }));
    test::PtyPair third;
    const plat::CommHandle other = plat::OpenComm(third.slavePath());
    ASSERT_NE(other, plat::kInvalidCommHandle);
    Plug(third);
    discovery_->Rescan();
    EXPECT_TRUE(Port().DeviceLost()) << "a device held elsewhere is not taken";
    plat::CloseComm(other);
    // Letting go of a device makes no change in any folder: the next change retries.
    ASSERT_EQ(::symlink("nowhere", (links_ + "/other").c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return Count(CSharedPort::DeviceEvent::kBack) == 2; }));
    ASSERT_TRUE(third.Write("ok"));
    Bytes got;
    ASSERT_TRUE(Eventually([&] {
        const Bytes more = watcher_->ReadAll();
        got.insert(got.end(), more.begin(), more.end());
        return got.size() >= 2;
    }));
    EXPECT_EQ(got, (Bytes{'o', 'k'}));
}

}  // namespace
}  // namespace tolvan
