// The workers of the automation server's channel calls: a lane's tasks run in order and
// one at a time, a task that blocks holds up no other lane, the worker count stays within
// its bound, and shutting down runs what was queued.
#include "automation/call_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace tdbus {
namespace {

// A gate tasks wait at until the test opens it.
class Gate {
public:
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void Pass() {
        std::unique_lock lock(mutex_);
        ++waiting_;
        cv_.notify_all();
        cv_.wait(lock, [this] { return open_; });
    }
    // Blocks until n tasks wait at the gate.
    void AwaitWaiting(int n) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return waiting_ >= n; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
    int waiting_ = 0;
};

TEST(CallQueue, LanesKeepTheirOrderAndABlockedLaneHoldsUpNoOther) {
    CallQueue calls(4);
    Gate gate;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> done;
    auto record = [&](std::string what) {
        std::lock_guard lock(mutex);
        done.push_back(std::move(what));
        changed.notify_all();
    };

    // Lane "a" blocks in its first task; its later tasks wait behind it.
    calls.Post("a", [&] {
        gate.Pass();
        record("a0");
    });
    for (int i = 1; i <= 3; ++i) calls.Post("a", [&, i] { record("a" + std::to_string(i)); });
    gate.AwaitWaiting(1);
    // Other lanes run meanwhile, each in its own order, and end without the gate opening.
    for (int i = 0; i < 20; ++i)
        calls.Post(i % 2 ? "b" : "c", [&, i] { record((i % 2 ? "b" : "c") + std::to_string(i)); });
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return done.size() == 20; });
        for (const std::string& d : done) EXPECT_NE(d[0], 'a') << d;
    }
    gate.Open();
    calls.WaitIdle();

    std::vector<std::string> a, b, c;
    for (const std::string& d : done) (d[0] == 'a' ? a : d[0] == 'b' ? b : c).push_back(d);
    EXPECT_EQ(a, (std::vector<std::string>{"a0", "a1", "a2", "a3"}));
    ASSERT_EQ(b.size(), 10u);
    ASSERT_EQ(c.size(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(b[i], "b" + std::to_string(2 * i + 1));
        EXPECT_EQ(c[i], "c" + std::to_string(2 * i));
    }
}

TEST(CallQueue, WorkersStayWithinTheirBoundAndShutdownRunsWhatWasQueued) {
    std::atomic<int> ran{0};
    Gate gate;
    {
        CallQueue calls(3);
        // Five lanes block: three run at once, two wait for a worker.
        for (int i = 0; i < 5; ++i)
            calls.Post("lane" + std::to_string(i), [&] {
                gate.Pass();
                ++ran;
            });
        gate.AwaitWaiting(3);
        EXPECT_EQ(calls.Workers(), 3u);
        EXPECT_EQ(ran.load(), 0);
        gate.Open();
        calls.WaitIdle();
        EXPECT_EQ(ran.load(), 5);
        EXPECT_LE(calls.Workers(), 3u);

        for (int i = 0; i < 10; ++i) calls.Post("late", [&] { ++ran; });
        calls.Shutdown();  // the ten still run
        EXPECT_EQ(ran.load(), 15);
        EXPECT_FALSE(calls.Post("after", [&] { ++ran; }));
    }
    EXPECT_EQ(ran.load(), 15);
}

}  // namespace
}  // namespace tdbus
