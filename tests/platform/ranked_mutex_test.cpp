// The lock-order check of debug builds: every kind of ranked mutex, taken exclusively or
// shared, in order or not.
#include <gtest/gtest.h>

#include <mutex>
#include <shared_mutex>

#include "platform/ranked_mutex.h"

namespace tolvan::plat {
namespace {

#ifndef NDEBUG
using lock_order::HighestHeld;

TEST(RankedMutex, TakenInRankOrderAndBackInAnyKind) {
    RankedRecursiveMutex outer(LockRank::kServer);
    RankedMutex middle(LockRank::kCommPort);
    RankedSharedMutex inner(LockRank::kNetCloser);
    {
        std::lock_guard a(outer);
        std::lock_guard again(outer);  // a recursive mutex held is taken again at its rank
        std::lock_guard b(middle);
        std::shared_lock c(inner);
        EXPECT_EQ(HighestHeld(), static_cast<int>(LockRank::kNetCloser));
        c.unlock();
        EXPECT_EQ(HighestHeld(), static_cast<int>(LockRank::kCommPort));
        std::unique_lock d(inner);
        EXPECT_EQ(HighestHeld(), static_cast<int>(LockRank::kNetCloser));
    }
    EXPECT_EQ(HighestHeld(), 0);

    // A try that cannot wait cannot deadlock: out of order it is only noted, and let go.
    std::lock_guard high(inner);
    ASSERT_TRUE(middle.try_lock());
    middle.unlock();
    std::unique_lock low(outer, std::try_to_lock);
    EXPECT_TRUE(low.owns_lock());
    low.unlock();
    EXPECT_EQ(HighestHeld(), static_cast<int>(LockRank::kNetCloser));
}

TEST(RankedMutexDeathTest, AnOutOfOrderLockAbortsNamingBothRanks) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    RankedMutex server(LockRank::kServer);
    RankedSharedMutex closer(LockRank::kNetCloser);
    RankedSharedMutex map(LockRank::kDeviceMap);
    EXPECT_DEATH(
        {
            std::lock_guard a(closer);
            std::lock_guard b(server);
        },
        "rank 20 taken while one of rank 82");
    EXPECT_DEATH(
        {
            std::lock_guard a(closer);
            std::shared_lock b(map);
        },
        "rank 60 taken while one of rank 82");
}
#else
// Release builds keep no ranks: a ranked mutex is the plain one.
static_assert(sizeof(RankedMutex) == sizeof(std::mutex));
static_assert(sizeof(RankedRecursiveMutex) == sizeof(std::recursive_mutex));
static_assert(sizeof(RankedSharedMutex) == sizeof(std::shared_mutex));
#endif

}  // namespace
}  // namespace tolvan::plat
