// One modem conversation at a time on a channel: a command started on another thread while
// a command waits for the modem's answer waits its turn, so neither eats the other's reply,
// and a command keeps the mode it started with. The interleavings are forced exactly where
// the first command lets the server lock go.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/server_lock.h"
#include "tests/channels/doc_modem_link_fixture.h"

namespace tolvan::mdmtest {
namespace {

using plat::LockRelease;

class ModemTurnTest : public ModemLinkTest {
protected:
    void SetUp() override {
        ModemLinkTest::SetUp();
        mode.nWorkMode = 2;  // wait for a line equal to strResponse
        mode.strResponse = "OK";
        mode.nTimeout = 3000;
        mode.nInternalTimeout = 1000;
    }

    AndModemMode mode;
    ModemCommands commands{link, mode};
};

TEST_F(ModemTurnTest, ACommandFromAnotherThreadWaitsUntilTheFirstHasItsAnswer) {
    const auto self = std::this_thread::get_id();
    std::mutex m;
    std::condition_variable cv;
    std::optional<LockRelease> otherFirstStop;
    bool registerAnswered = false;
    std::string farEndWhileWaiting;
    std::thread other;
    int16_t registerValue = -100;
    int16_t status = -100;
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            if (std::this_thread::get_id() == self) {
                if (point != LockRelease::kWait || other.joinable()) return;
                // The client waits for its "OK"; the window reads a register now.
                other = std::thread([&] {
                    plat::ServerLockGuard guard;
                    registerValue = commands.GetRegister(7);
                });
                std::unique_lock lock(m);
                ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10),
                                        [&] { return otherFirstStop.has_value(); }));
                lock.unlock();
                farEndWhileWaiting = FarEndGot();
                ASSERT_TRUE(pty.Write("\r\nOK\r\n")) << "the answer to the first command";
                return;
            }
            std::lock_guard lock(m);
            if (!otherFirstStop) {
                otherFirstStop = point;
                cv.notify_all();
            } else if (point == LockRelease::kWait && !registerAnswered) {
                registerAnswered = true;
                ASSERT_TRUE(pty.Write("\r\n007\r\n\r\nOK\r\n"));
            }
        });
        plat::ServerLockGuard guard;  // as a client's call holds it
        status = commands.DoCommand("ATI\r");
        plat::ServerUnlockScope letOtherFinish;
        if (other.joinable()) other.join();
    }
    EXPECT_EQ(otherFirstStop, LockRelease::kModemTurn) << "the register read did not wait";
    EXPECT_EQ(farEndWhileWaiting, "ATI\r") << "the register read went out mid-conversation";
    EXPECT_EQ(status, 0) << "the first command's OK was taken by the other";
    EXPECT_EQ(registerValue, 7);
    EXPECT_EQ(FarEndGot(), "ATS7?\r");
    EXPECT_FALSE(commands.Busy());
}

TEST_F(ModemTurnTest, ACommandKeepsTheModeItStartedWithWhileAnotherThreadChangesIt) {
    const auto self = std::this_thread::get_id();
    bool changed = false;
    int16_t status = -100;
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            if (std::this_thread::get_id() != self || point != LockRelease::kWait || changed)
                return;
            changed = true;
            // A client sets another answer to wait for while the window's command waits.
            std::thread([&] {
                AndModemMode next = commands.ModeNow();
                next.strResponse = "READY";
                next.nWorkMode = 0;
                commands.SetMode(next);
            }).join();
            ASSERT_TRUE(pty.Write("\r\nOK\r\n"));
        });
        plat::ServerLockGuard guard;
        status = commands.DoCommand("AT\r");
    }
    ASSERT_TRUE(changed);
    EXPECT_EQ(status, 0) << "the wait looked for the new answer";
    EXPECT_EQ(commands.ModeNow().strResponse, "READY") << "the change is kept for later commands";
}

TEST_F(ModemTurnTest, ASequenceHeldAsOneTurnIsNotSplitByAnotherThreadsCommand) {
    mode.nWorkMode = 0;  // no waits: the sequence's own pause is the only release
    const auto self = std::this_thread::get_id();
    std::thread other;
    std::atomic<bool> otherWaited{false};
    {
        plat::ScopedLockReleaseHook hook([&](LockRelease point) {
            if (std::this_thread::get_id() != self) {
                if (point == LockRelease::kModemTurn) otherWaited = true;
                return;
            }
            if (point != LockRelease::kSleep || other.joinable()) return;
            other = std::thread([&] {
                plat::ServerLockGuard guard;
                commands.DoCommand("ATH\r");
            });
            // Give the other thread every chance to slip in; it must wait for the turn.
            for (int i = 0; i < 200 && !otherWaited; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        plat::ServerLockGuard guard;
        {
            ModemCommands::Turn turn(commands);
            commands.SetRegister(8, 2);
            plat::Sleep(10);  // the sheet's paced pause between its commands
            commands.SetRegister(7, 50);
        }
        plat::ServerUnlockScope letOtherFinish;
        if (other.joinable()) other.join();
    }
    EXPECT_TRUE(otherWaited);
    EXPECT_EQ(FarEndGot(), "ATS8=2\rATS7=50\rATH\r");
}

}  // namespace
}  // namespace tolvan::mdmtest
