// The wait reactor tries a waiter when something happens to it (its wake list is woken,
// its descriptor becomes readable, its deadline passes), never on a timer while idle; a
// descriptor that hung up does not make it spin; Stop gives every waiter its last try.
#include "automation/wait_reactor.h"

#include "platform/server_lock.h"
#include "tests/automation/bus_fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tolvan::test {
namespace {

using tdbus::WaitReactor;

struct Counts {
    std::atomic<int> tries{0};
    std::atomic<int> answers{0};
    std::atomic<bool> lastTry{false};
    bool ready = false;  // server lock
};

class CountingWaiter final : public WaitReactor::Waiter {
public:
    CountingWaiter(Counts& counts, plat::WakeList* list, int fd)
        : counts_(counts), list_(list), fd_(fd) {}
    bool Try(bool last, plat::WaitTarget& sleep) override {
        ++counts_.tries;
        counts_.lastTry = last;
        if (last || counts_.ready) return true;
        sleep.wakes = list_;
        sleep.fd = fd_;
        return false;
    }
    void Answer() override { ++counts_.answers; }

private:
    Counts& counts_;
    plat::WakeList* list_;
    int fd_;
};

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

const auto kMinute = std::chrono::minutes(1);

TEST(WaitReactorTest, AWaiterIsTriedWhenItsListWakesAndNotMeanwhile) {
    plat::WakeList list;
    Counts counts;
    WaitReactor reactor;
    reactor.Add(WaitReactor::Clock::now() + kMinute,
                std::make_unique<CountingWaiter>(counts, &list, -1));
    ASSERT_TRUE(Eventually([&] { return counts.tries == 1; }));
    const std::size_t rounds = reactor.Rounds();
    // Long enough for any retry on a timer to show.
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(counts.tries, 1) << "tried without a reason";
    EXPECT_EQ(reactor.Rounds(), rounds) << "the idle reactor woke up";

    {
        plat::ServerLockGuard guard;
        list.WakeAll();  // a wake-up with nothing new for it: tried, waits on
    }
    ASSERT_TRUE(Eventually([&] { return counts.tries == 2; }));
    {
        plat::ServerLockGuard guard;
        counts.ready = true;
        list.WakeAll();
    }
    ASSERT_TRUE(Eventually([&] { return counts.answers == 1; }));
    EXPECT_EQ(counts.tries, 3);
    EXPECT_FALSE(counts.lastTry);
    EXPECT_EQ(reactor.Waiting(), 0u);
}

TEST(WaitReactorTest, AHungUpDescriptorDoesNotMakeItSpinAndStopAnswersEveryWaiter) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::close(pipeFds[1]);  // the read end polls hung up for ever
    plat::WakeList list;
    Counts hungUp, other;
    WaitReactor reactor;
    reactor.Add(WaitReactor::Clock::now() + kMinute,
                std::make_unique<CountingWaiter>(hungUp, &list, pipeFds[0]));
    reactor.Add(WaitReactor::Clock::now() + kMinute,
                std::make_unique<CountingWaiter>(other, &list, -1));
    ASSERT_TRUE(Eventually([&] { return hungUp.tries >= 1 && other.tries >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_LE(hungUp.tries, 2) << "spun on the hung-up descriptor";
    EXPECT_EQ(reactor.Waiting(), 2u);

    reactor.Stop();
    EXPECT_EQ(hungUp.answers, 1);
    EXPECT_EQ(other.answers, 1);
    EXPECT_TRUE(other.lastTry);
    ::close(pipeFds[0]);
}

TEST(WaitReactorTest, TheDeadlineGivesTheLastTry) {
    Counts counts;
    plat::WakeList list;
    WaitReactor reactor;
    reactor.Add(WaitReactor::Clock::now() + std::chrono::milliseconds(20),
                std::make_unique<CountingWaiter>(counts, &list, -1));
    ASSERT_TRUE(Eventually([&] { return counts.answers == 1; }));
    EXPECT_TRUE(counts.lastTry);
    EXPECT_LE(counts.tries, 2);
}

}  // namespace
}  // namespace tolvan::test
