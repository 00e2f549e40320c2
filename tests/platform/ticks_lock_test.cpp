// The tick source, the one wait function and the server lock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/server_lock.h"
#include "platform/ticks.h"

namespace tolvan::plat {
namespace {

TEST(Ticks, FakeTimeMovesOnlyWhenCodeWaits) {
    FakeTickSource ticks(5000);
    ScopedTickSource scoped(ticks);
    EXPECT_EQ(GetTickCount(), 5000u);
    EXPECT_EQ(GetTickCount(), 5000u);
    Sleep(300);
    EXPECT_EQ(GetTickCount(), 5300u);
    int checks = 0;
    EXPECT_FALSE(WaitFor(
        [&] {
            ++checks;
            return false;
        },
        9000));
    EXPECT_EQ(GetTickCount(), 14300u);
    EXPECT_GT(checks, 1) << "the condition is checked between sleeps";
    // Ready at once: no time passes.
    EXPECT_TRUE(WaitFor([] { return true; }, 9000));
    EXPECT_EQ(GetTickCount(), 14300u);
    int n = 0;
    EXPECT_TRUE(WaitFor([&] { return ++n == 4; }, 9000));
    EXPECT_EQ(GetTickCount(), 14300u + 3 * kWaitSliceMs);
}

TEST(Ticks, ScopedSourceIsRestoredAndTheRealClockRuns) {
    RealTickSource* before = dynamic_cast<RealTickSource*>(&Ticks());
    ASSERT_NE(before, nullptr);
    {
        FakeTickSource ticks(7);
        ScopedTickSource scoped(ticks);
        EXPECT_EQ(GetTickCount(), 7u);
    }
    EXPECT_EQ(&Ticks(), before);
    const uint32_t t0 = GetTickCount();
    Sleep(3);
    EXPECT_GE(GetTickCount() - t0, 3u);
}

TEST(Ticks, WaitOnADescriptorWakesWhenItIsReady) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::thread writer([&] { (void)!::write(fds[1], "x", 1); });
    char c = 0;
    // Real clock, long limit: returns as soon as the byte is there.
    EXPECT_TRUE(WaitFor([&] { return ::read(fds[0], &c, 1) == 1; }, 60000, fds[0]));
    writer.join();
    EXPECT_EQ(c, 'x');
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(Ticks, HungUpDescriptorDoesNotMakeTheWaitSpin) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[1]);  // the read end now polls POLLHUP for ever
    int checks = 0;
    EXPECT_FALSE(WaitFor(
        [&] {
            ++checks;
            return false;
        },
        3 * kFdSliceMs, fds[0]));
    EXPECT_LE(checks, 5) << "the wait went round without sleeping";
    ::close(fds[0]);
}

TEST(ServerLockTest, CountsLevelsPerThread) {
    EXPECT_FALSE(ServerLock::HeldByMe());
    {
        ServerLockGuard a;
        ServerLockGuard b;
        EXPECT_EQ(ServerLock::DepthHeldByMe(), 2);
        std::atomic<bool> otherGot{true};
        std::thread([&] {
            otherGot = ServerLock::TryLock();
            if (otherGot) ServerLock::Unlock();
        }).join();
        EXPECT_FALSE(otherGot) << "held by this thread";
        {
            ServerUnlockScope released;
            EXPECT_EQ(ServerLock::DepthHeldByMe(), 0);
            std::thread([&] {
                otherGot = ServerLock::TryLock();
                if (otherGot) ServerLock::Unlock();
            }).join();
            EXPECT_TRUE(otherGot);
        }
        EXPECT_EQ(ServerLock::DepthHeldByMe(), 2);
    }
    EXPECT_FALSE(ServerLock::HeldByMe());
}

TEST(ServerLockTest, WaitForLetsOtherThreadsIn) {
    std::atomic<bool> done{false};
    ServerLockGuard outer;
    ServerLockGuard inner;
    std::thread other([&] {
        ServerLockGuard lock;  // blocks unless the waiter handed the lock back
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 60000));
    EXPECT_EQ(ServerLock::DepthHeldByMe(), 2);
    other.join();
}

}  // namespace
}  // namespace tolvan::plat
