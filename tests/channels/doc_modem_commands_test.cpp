// The modem commands as the far end sees them on a real pty: the exact command bytes, the
// write lock, the three ways of waiting for the answer, and register reads against
// scripted answers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <utility>

#include "tests/channels/doc_modem_link_fixture.h"

namespace tolvan::mdmtest {
namespace {

using ModemWireTest = ModemLinkTest;

TEST_F(ModemWireTest, SettingCommandsCountOnlyOneAsOn) {
    const std::pair<std::function<int16_t()>, std::string> commands[] = {
        {[&] { return modem.SetEcho(1); }, "ATE1\r"},
        {[&] { return modem.SetEcho(2); }, "ATE0\r"},
        {[&] { return modem.SetReply(1); }, "ATQ0\r"},  // answers on is Q0
        {[&] { return modem.SetReply(-1); }, "ATQ1\r"},
        {[&] { return modem.SetReplyMode(0); }, "ATV0\r"},
        {[&] { return modem.SetLoud(3); }, "ATL3\r"},
        {[&] { return modem.SetSpeaker(0); }, "ATM0\r"},
        {[&] { return modem.SetDtrHangUp(1); }, "ATY0\r"},
        {[&] { return modem.SetRegister(8, 4); }, "ATS8=4\r"},
    };
    for (const auto& [command, wire] : commands) {
        EXPECT_EQ(command(), 0) << wire;
        EXPECT_EQ(FarEndGot(), wire);
    }
    EXPECT_EQ(mode.bEcho, 2) << "the argument is kept as given";
    EXPECT_EQ(mode.nLoud, 3);
    EXPECT_EQ(mode.nSpeaker, 0);
}

TEST_F(ModemWireTest, DialBuildsPrefixModeNumberSuffix) {
    EXPECT_EQ(modem.Dial("ATD", "1234", ""), 0);
    EXPECT_EQ(FarEndGot(), "ATDT1234\r");
    modem.SetPulseDial(1);
    EXPECT_EQ(modem.Dial("ATD", "1234", ""), 0);
    EXPECT_EQ(FarEndGot(), "ATDP1234\r");
    modem.SetPulseDial(2);
    EXPECT_EQ(modem.Dial("ATD", "555,12", ";"), 0);
    EXPECT_EQ(FarEndGot(), "ATDT555,12;\r") << "only 1 selects pulses; the suffix precedes CR";
}

TEST_F(ModemWireTest, TextGoesOutUnchangedAndDialDoesNotWait) {
    mode.nWorkMode = 2;
    const uint32_t before = Now();
    EXPECT_EQ(modem.SendString("A/"), 0);
    EXPECT_EQ(modem.Dial("ATD", "1", ""), 0);
    EXPECT_EQ(Now(), before) << "sending without waiting takes no modem time";
    EXPECT_EQ(FarEndGot(), "A/ATDT1\r");
}

TEST_F(ModemWireTest, AnotherChannelsLockRefusesEveryCommandAndSendsNothing) {
    ASSERT_EQ(registry.ConnectChannel(&other, kCom, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(channel.Port()->LockFor(&other), 1);
    EXPECT_EQ(modem.DoCommand("AT\r"), kModemLockedByOther);
    EXPECT_EQ(modem.SendString("AT\r"), kModemLockedByOther);
    EXPECT_EQ(modem.SetLoud(1), kModemLockedByOther);
    EXPECT_EQ(modem.Dial("ATD", "1", ""), kModemLockedByOther);
    EXPECT_EQ(modem.GetRegister(7), kModemLockedByOther);
    EXPECT_EQ(FarEndGot(), "");

    // Our own lock does not stand in the way, and the command leaves our level as it was.
    ASSERT_EQ(channel.Port()->UnlockFor(&other), 0);
    ASSERT_EQ(channel.Port()->LockFor(&channel), 1);
    EXPECT_EQ(modem.DoCommand("AT\r"), 0);
    EXPECT_EQ(channel.Port()->LockCount(), 1);
    EXPECT_EQ(FarEndGot(), "AT\r");
}

TEST_F(ModemWireTest, NotConnectedIsNotSetUp) {
    channel.Disconnect();
    EXPECT_EQ(modem.DoCommand("AT\r"), kModemNotSetUp);
    EXPECT_EQ(modem.GetRegister(7), kModemNotSetUp);
    EXPECT_EQ(modem.Dial("ATD", "1", ""), kModemNotSetUp);
}

TEST_F(ModemWireTest, WorkModesWaitAsConfigured) {
    mode.nTimeout = 700;
    mode.nWorkMode = 0;
    uint32_t t0 = Now();
    EXPECT_EQ(modem.DoCommand("AT\r"), 0);
    EXPECT_EQ(Now(), t0) << "mode 0 returns at once";

    pty.Write("OK\r\n");  // mode 1 does not read: the answer stays for the client
    for (int32_t waitMode : {1, 7}) {
        mode.nWorkMode = waitMode;
        t0 = Now();
        EXPECT_EQ(modem.DoCommand("AT\r"), 0);
        EXPECT_GE(Now() - t0, 700u) << "mode " << waitMode << " waits the whole timeout";
    }
    std::array<uint8_t, 16> line{};
    EXPECT_EQ(link.LinkReadString(line, -2), 2);
}

// The far end answers each command line with `reply` once it has read `expect`.
class Responder {
public:
    Responder(test::PtyPair& pty, std::string expect, std::string reply)
        : thread_([&pty, expect, reply] {
              auto got = pty.Read(expect.size());
              if (std::string(got.begin(), got.end()) == expect) pty.Write(reply);
          }) {}
    ~Responder() { thread_.join(); }

private:
    std::thread thread_;
};

TEST_F(ModemWireTest, ResponseModeEndsOnTheExactAnswer) {
    mode.nWorkMode = 2;
    mode.nTimeout = 1000;
    {
        Responder far(pty, "AT\r", "AT\r\r\nok\r\nOK \r\nOK\r\n");
        const uint32_t t0 = Now();
        EXPECT_EQ(modem.DoCommand("AT\r"), 0);
        EXPECT_LT(Now() - t0, 1000u) << "returns when OK arrives, not at the timeout";
    }
    {
        Responder far(pty, "ATX\r", "\r\nERROR\r\n");
        const uint32_t t0 = Now();
        EXPECT_EQ(modem.DoCommand("ATX\r"), kModemNoResponse);
        EXPECT_GE(Now() - t0, 1000u);
    }
}

TEST_F(ModemWireTest, RegisterReadSkipsEchoAndBlankLines) {
    {
        // A bare line feed between echo and value is no value of 0.
        Responder far(pty, "ATS7?\r", "ATS7?\r\r\n\r\n030\r\nOK\r\n");
        EXPECT_EQ(modem.GetRegister(7), 30);
    }
    // The line feed after the value was taken, so only "\nOK" and its CR LF remain.
    std::array<uint8_t, 16> line{};
    EXPECT_EQ(link.LinkReadString(line, -2), 2);
    EXPECT_EQ(std::string(line.begin(), line.begin() + 2), "OK");
}

TEST_F(ModemWireTest, RegisterReadClearsOldBytesAndTimesOut) {
    pty.Write("\r\n099\r\n");  // an old answer must not pass for the new one
    ASSERT_TRUE(plat::WaitFor(
        [&] {
            channel.Port()->PollReceive();
            return channel.Rx()->Count() == 7;
        },
        5000, pty.slave()));
    mode.nInternalTimeout = 400;
    const uint32_t t0 = Now();
    EXPECT_EQ(modem.GetRegister(8), kModemNoResponse);
    EXPECT_GE(Now() - t0, 400u);
    EXPECT_EQ(FarEndGot(), "ATS8?\r");
}

TEST_F(ModemWireTest, PacedSetUpSpacesCommandsInModeZero) {
    mode.nInternalTimeout = 400;  // pause step 100
    mode.bReply = 1;
    const uint32_t t0 = Now();
    modem.SetUpModem();
    EXPECT_GE(Now() - t0, 400u) << "four pauses of a quarter each";
    EXPECT_EQ(FarEndGot(), "ATM2\rATL2\rATQ0\rATV1\rATE0\r");

    mode.bReply = 0;
    mode.nDialMode = 1;
    modem.SetUpModem();
    EXPECT_EQ(FarEndGot(), "ATM2\rATL2\rATQ1\rATE0\r") << "no answer form without answers";
    EXPECT_EQ(mode.nDialMode, 1);
}

}  // namespace
}  // namespace tolvan::mdmtest
