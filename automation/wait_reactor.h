// One thread for the waits of calls that hold no worker (a timed read with nothing to
// read yet). Each waiter is tried again when its descriptor becomes readable, every slice
// when it has none (another channel may move bytes into the shared ring without the
// descriptor showing it), and a last time at its deadline; the waiter answers its call
// itself and says whether it is done. So a thousand waiting reads cost one thread.
//
//   WaitReactor reactor;
//   reactor.Add(deadline, fd, [](bool last) { return TryAgain(last); });
//   reactor.Stop();   // every waiter gets its last try at once
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tdbus {

class WaitReactor {
public:
    using Clock = std::chrono::steady_clock;
    // Called on the reactor's thread; `last`: the deadline has passed (or the reactor
    // stops), the waiter must answer now. True: done, the waiter goes.
    using Attempt = std::function<bool(bool last)>;

    WaitReactor();
    ~WaitReactor();  // Stop()
    WaitReactor(const WaitReactor&) = delete;
    WaitReactor& operator=(const WaitReactor&) = delete;

    // Any thread. fd < 0: tried every slice. After Stop the waiter gets its last try at
    // once, on the caller's thread.
    void Add(Clock::time_point deadline, int fd, Attempt attempt);
    // Waiters not yet done.
    std::size_t Waiting() const;
    // Last tries for every waiter, then the thread ends. Idempotent.
    void Stop();

private:
    struct Waiter {
        Clock::time_point deadline;
        int fd;
        Attempt attempt;
        Clock::time_point tried;
    };
    void Run();
    void Wake();

    mutable std::mutex mutex_;
    std::vector<Waiter> added_;  // handed to the thread
    std::size_t waiting_ = 0;
    bool stopping_ = false;
    int wakeFd_ = -1;  // eventfd
    std::thread thread_;
};

}  // namespace tdbus
