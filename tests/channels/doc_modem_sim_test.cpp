// The modem commands against the simulated Hayes modem on the far side of a real pty:
// answers in words and in digits, echo on and off, register writes and reads.
#include <gtest/gtest.h>

#include "platform/sim_modem.h"
#include "tests/channels/doc_modem_link_fixture.h"
#include "tests/support/modem_sim_pty.h"

namespace tolvan::mdmtest {
namespace {

class ModemSimTest : public ModemLinkTest {
protected:
    void SetUp() override {
        ModemLinkTest::SetUp();
        mode.nWorkMode = 2;
    }
    void TearDown() override {
        EXPECT_TRUE(runner.Healthy());
        runner.Stop();
        ModemLinkTest::TearDown();
    }

    plat::HayesModemSim sim;
    test::ModemSimPtyRunner runner{pty.master(), sim};
};

TEST_F(ModemSimTest, ResponseModeMeetsOkAndError) {
    uint32_t t0 = Now();
    EXPECT_EQ(modem.DoCommand("AT\r"), 0);
    EXPECT_LT(Now() - t0, static_cast<uint32_t>(mode.nTimeout));

    t0 = Now();
    EXPECT_EQ(modem.DoCommand("ATL9\r"), kModemNoResponse) << "the modem said ERROR";
    EXPECT_GE(Now() - t0, static_cast<uint32_t>(mode.nTimeout));
    EXPECT_EQ(sim.Loudness(), 1);
}

TEST_F(ModemSimTest, RegistersRoundTripWithEchoAndWithout) {
    EXPECT_EQ(modem.SetRegister(7, 30), 0);
    EXPECT_EQ(sim.Register(7), 30);
    EXPECT_EQ(modem.GetRegister(7), 30) << "echo, blank line, 030, OK";

    EXPECT_EQ(modem.SetEcho(0), 0);
    EXPECT_FALSE(sim.Echo());
    EXPECT_EQ(modem.SetReplyMode(0), kModemNoResponse) << "a digit answer is no OK line";
    EXPECT_FALSE(sim.Verbose());
    std::string answer;
    ASSERT_TRUE(plat::WaitFor([&] { return (answer += Unread()) == "0\r"; }, 5000)) << answer;
    mode.nWorkMode = 0;
    EXPECT_EQ(modem.SetRegister(8, 255), 0);
    answer.clear();
    ASSERT_TRUE(plat::WaitFor([&] { return (answer += Unread()) == "0\r"; }, 5000)) << answer;
    EXPECT_EQ(sim.Register(8), 255);
    EXPECT_EQ(modem.GetRegister(8), 255) << "digit answers: 255 CR LF, then 0 CR";
    std::string rest;
    ASSERT_TRUE(plat::WaitFor([&] { return (rest += Unread()).size() >= 3; }, 5000));
    EXPECT_EQ(rest, "\n0\r") << "without a leading line feed no byte is dropped";
}

}  // namespace
}  // namespace tolvan::mdmtest
