// Modem commands awaited without a thread of their own give what the blocking members give,
// against the simulated modem on a real pty, and hold the conversation's turn and the write
// lock until they end: a blocking command of another thread waits for them.
#include <array>
#include <atomic>
#include <thread>

#include "channels/doc_modem_pending.h"
#include "platform/server_lock.h"
#include "platform/sim_modem.h"
#include "tests/channels/doc_modem_link_fixture.h"
#include "tests/support/modem_sim_pty.h"

namespace tolvan::mdmtest {
namespace {

using Begun = ModemPending::Begun;
using Step = ModemPending::Step;

class ModemPendingTest : public ModemLinkTest {
protected:
    void SetUp() override {
        ModemLinkTest::SetUp();
        mode.nWorkMode = 2;
        // Fake time runs fast: room for a loaded machine's modem thread to answer.
        mode.nTimeout = 5000;
        mode.nInternalTimeout = 5000;
    }
    void TearDown() override {
        runner.Stop();
        ModemLinkTest::TearDown();
    }

    // Waits as the wait reactor would: each wait up to its limit, a last try at its end.
    int16_t Drive(std::unique_ptr<ModemPending>& pending) {
        for (;;) {
            Step step = Step::kWaiting;
            plat::WaitFor([&] { return (step = pending->Try(false)) != Step::kWaiting; },
                          pending->LimitMs());
            if (step == Step::kWaiting) step = pending->Try(true);
            if (step == Step::kEnded) return pending->Status();
        }
    }
    int16_t PendingCommand(const std::string& text) {
        int16_t status = -100;
        std::unique_ptr<ModemPending> pending;
        const Begun begun = ModemPending::BeginCommand(modem, text, status, pending);
        if (begun == Begun::kBusy) return -1000;
        return begun == Begun::kEnded ? status : Drive(pending);
    }
    int16_t PendingRegister(int16_t reg) {
        int16_t status = -100;
        std::unique_ptr<ModemPending> pending;
        const Begun begun = ModemPending::BeginRegisterRead(modem, reg, status, pending);
        if (begun == Begun::kBusy) return -1000;
        return begun == Begun::kEnded ? status : Drive(pending);
    }

    plat::HayesModemSim sim;
    test::ModemSimPtyRunner runner{pty.master(), sim};
};

TEST_F(ModemPendingTest, GivesWhatTheBlockingMembersGiveInEveryAnswerForm) {
    // Words with echo: "ATS7?" CR, CR LF "050" CR LF, CR LF "OK" CR LF.
    EXPECT_EQ(PendingCommand("ATS7=33\r"), 0);
    EXPECT_EQ(PendingRegister(7), 33);
    EXPECT_EQ(modem.GetRegister(7), 33);
    EXPECT_EQ(PendingCommand("ATL9\r"), kModemNoResponse) << "the modem said ERROR";

    int16_t status = -100;
    std::unique_ptr<ModemPending> pending;
    const Begun begun =
        ModemPending::BeginSetting(modem, ModemPending::Setting::kEcho, 0, status, pending);
    ASSERT_NE(begun, Begun::kBusy);
    // A quick modem may have answered before the first look: then it ended at once.
    EXPECT_EQ(begun == Begun::kPending ? Drive(pending) : status, 0);
    EXPECT_FALSE(sim.Echo());
    EXPECT_EQ(modem.ModeNow().bEcho, 0) << "the setting is stored as by SetEcho";
    EXPECT_EQ(PendingRegister(7), 33) << "without echo";

    // Digit answers ("0" CR for OK) with no wait for an answer: the value still comes.
    mode.nWorkMode = 0;
    EXPECT_EQ(PendingCommand("ATV0\r"), 0);
    std::string answer;
    ASSERT_TRUE(plat::WaitFor([&] { return (answer += Unread()) == "0\r"; }, 5000)) << answer;
    EXPECT_EQ(PendingRegister(7), 33);
    EXPECT_EQ(modem.GetRegister(7), 33);

    // A fixed wait, and none.
    mode.nWorkMode = 1;
    mode.nTimeout = 300;
    EXPECT_EQ(PendingCommand("ATV1\r"), 0);
    EXPECT_EQ(PendingRegister(8), 2);
    mode.nWorkMode = 0;
    EXPECT_EQ(PendingCommand("AT\r"), 0);
    EXPECT_FALSE(modem.Busy());
    EXPECT_EQ(channel.Port()->LockOwner(), nullptr) << "a write lock was kept";
}

// Threads meet here (the sanitizer runs it); the far end is the test itself.
class ModemPendingTurnTest : public ModemPendingTest {};

TEST_F(ModemPendingTurnTest, HoldsTheTurnAndTheWriteLockUntilItEnds) {
    runner.Stop();  // the far end is the test now
    int16_t status = -100;
    std::unique_ptr<ModemPending> pending;
    ASSERT_EQ(ModemPending::BeginCommand(modem, "ATI\r", status, pending), Begun::kPending);
    EXPECT_EQ(FarEndGot(), "ATI\r");
    EXPECT_EQ(channel.Port()->LockOwner(), &channel);
    std::unique_ptr<ModemPending> second;
    EXPECT_EQ(ModemPending::BeginCommand(modem, "ATZ\r", status, second), Begun::kBusy);
    EXPECT_EQ(pending->Try(false), Step::kWaiting);

    std::atomic<bool> workerWaits{false};
    std::atomic<int> workerStatus{-100};
    std::thread worker;
    {
        plat::ScopedLockReleaseHook hook([&](plat::LockRelease point) {
            if (point == plat::LockRelease::kModemTurn) workerWaits = true;
        });
        worker = std::thread([&] {
            plat::ServerLockGuard guard;
            workerStatus = modem.DoCommand("ATH\r");
        });
        ASSERT_TRUE(plat::WaitFor([&] { return workerWaits.load(); }, 10000));
        EXPECT_EQ(FarEndGot(), "") << "the blocking command went out before the answer";
        ASSERT_TRUE(pty.Write("\r\nOK\r\n"));
        EXPECT_EQ(Drive(pending), 0);
    }
    EXPECT_EQ(FarEndGot(), "ATH\r") << "its turn came when the answer was in";
    ASSERT_TRUE(pty.Write("\r\nOK\r\n"));
    worker.join();
    EXPECT_EQ(workerStatus, 0);

    // Dropped unanswered: the turn and the write lock go with it.
    ASSERT_EQ(ModemPending::BeginCommand(modem, "AT\r", status, pending), Begun::kPending);
    pending.reset();
    EXPECT_FALSE(modem.Busy());
    EXPECT_EQ(channel.Port()->LockOwner(), nullptr);
    // Not connected: ended at once, nothing held.
    channel.Disconnect();
    EXPECT_EQ(ModemPending::BeginRegisterRead(modem, 7, status, pending), Begun::kEnded);
    EXPECT_EQ(status, kModemNotSetUp);
    EXPECT_FALSE(modem.Busy());
}

}  // namespace
}  // namespace tolvan::mdmtest
