// Modem commands on a real pty: a channel double connected through the port registry to
// COM2 (a pty), with the modem commands on top of it. The far end is either the test
// itself on the pty master (to see exact bytes) or the simulated Hayes modem.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>

#include "channels/doc_modem_commands.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "tests/support/channel_double.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

namespace tolvan::mdmtest {

// The channel operations over the channel double and its shared port.
class DoubleLink final : public ModemLink {
public:
    explicit DoubleLink(test::ChannelDouble& channel) : ch_(channel) {}
    bool LinkConnected() const override { return ch_.Port() != nullptr; }
    bool LinkLockedByOther() const override { return ch_.Port()->IsLockedByOther(&ch_); }
    bool LinkLock() override { return ch_.Port()->LockFor(&ch_) != 0; }
    void LinkUnlock() override { ch_.Port()->UnlockFor(&ch_); }
    int32_t LinkWrite(std::span<const uint8_t> bytes) override {
        return static_cast<int32_t>(ch_.WriteToPort(bytes));
    }
    int32_t LinkReadString(std::span<uint8_t> destination, int16_t terminator) override {
        ch_.Port()->PollReceive();
        return ch_.Rx()->ReadUntil(destination, terminator);
    }
    int32_t LinkRead(std::span<uint8_t> destination) override {
        return static_cast<int32_t>(ch_.ReadFromPort(destination));
    }
    void LinkClearReceive() override {
        if (ch_.Port() == nullptr) return;
        ch_.Port()->PollReceive();
        ch_.Rx()->Clear();
    }
    uint32_t LinkHeld() const override { return ch_.Rx() ? ch_.Rx()->Count() : 0; }
    int16_t LinkLastError() override { return 0; }
    plat::WaitTarget LinkWaitTarget() override {
        return ch_.Port() != nullptr ? ch_.Port()->ReceiveWaitTarget() : plat::WaitTarget{};
    }

private:
    test::ChannelDouble& ch_;
};

class ModemLinkTest : public ::testing::Test {
protected:
    static constexpr int kCom = 2;

    void SetUp() override {
        ASSERT_EQ(port.Map(kCom, pty.slavePath(), lockDir.path()), 1);
        ASSERT_EQ(registry.ConnectChannel(&channel, kCom, 9600, 'N', 8, 1), 0);
    }
    void TearDown() override {
        channel.Disconnect();
        other.Disconnect();
    }

    // Everything the far end got so far (waits until the line is quiet for 50 ms).
    std::string FarEndGot() {
        auto bytes = pty.ReadAvailable(50);
        return {bytes.begin(), bytes.end()};
    }
    uint32_t Now() { return ticks.Now(); }
    // What the channel has received and not read yet.
    std::string Unread() {
        std::string text;
        std::array<uint8_t, 64> chunk{};
        int32_t n;
        while ((n = link.LinkRead(chunk)) > 0) text.append(chunk.begin(), chunk.begin() + n);
        return text;
    }

    // Seconds of modem time pass at once; each slice still yields real time to the far end.
    plat::FakeTickSource ticks{1000, std::chrono::microseconds(300)};
    plat::ScopedTickSource useTicks{ticks};
    test::ScratchDir lockDir;
    test::PtyPair pty;
    test::MappedPort port;
    PortRegistry& registry = port.registry;
    test::ChannelDouble channel;
    test::ChannelDouble other;
    DoubleLink link{channel};
    AndModemMode mode;
    ModemCommands modem{link, mode};
};

}  // namespace tolvan::mdmtest
