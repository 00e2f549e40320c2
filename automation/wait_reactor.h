// One thread for the waits of calls that hold no worker (a timed read with nothing to
// read yet). Each waiter is tried again when its descriptor becomes readable, when a wake
// list it watches is woken (its port moved bytes into the rings, its channel left), and a
// last time at its deadline; then it answers its call. A waiter that has neither is tried
// every slice. So a thousand waiting reads cost one thread and, while nothing happens, no
// time at all.
//
//   WaitReactor reactor;
//   reactor.Add(deadline, std::make_unique<MyWaiter>(...));
//   reactor.Stop();   // every waiter gets its last try at once
#pragma once

#include "platform/ticks.h"
#include "platform/wake_list.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tdbus {

class WaitReactor {
public:
    using Clock = std::chrono::steady_clock;

    class Waiter {
    public:
        virtual ~Waiter() = default;
        // On the reactor's thread with the server lock held: one try. True when the call
        // has its answer; `last` (the deadline passed, the reactor stops): it must have.
        // When not, `sleep` says what to wait on until the next try.
        virtual bool Try(bool last, tolvan::plat::WaitTarget& sleep) = 0;
        // On the reactor's thread without the server lock, after Try said true (or after
        // the last try when the reactor stops): sends the answer. The waiter is destroyed
        // after it.
        virtual void Answer() = 0;
        // After a try that did not answer, with the server lock held: a later deadline when
        // the waiter's wait goes on in another stage (a register read: the value, then the
        // answer); a try with `last` set may do so. None: the deadline stays.
        virtual std::optional<Clock::time_point> NextDeadline() { return std::nullopt; }
    };

    WaitReactor();
    ~WaitReactor();  // Stop()
    WaitReactor(const WaitReactor&) = delete;
    WaitReactor& operator=(const WaitReactor&) = delete;

    // Any thread, without the server lock. The first try happens on the reactor's thread
    // (the caller has tried once already). After Stop the waiter gets its last try at once,
    // on the caller's thread.
    void Add(Clock::time_point deadline, std::unique_ptr<Waiter> waiter);
    // Waiters not yet done.
    std::size_t Waiting() const;
    // Sleeps of the reactor's thread so far (tests: an idle reactor does not poll).
    std::size_t Rounds() const;
    // Last tries for every waiter, then the thread ends. Idempotent.
    void Stop();

private:
    struct Entry;
    void Run();
    void Wake();
    static void Finish(Waiter& waiter, bool last);

    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Entry>> added_;  // handed to the thread
    std::size_t waiting_ = 0;
    std::size_t rounds_ = 0;
    bool stopping_ = false;
    int wakeFd_ = -1;               // eventfd: a waiter added, Stop
    tolvan::plat::Waker arrivals_;  // the wake lists the waiters watch
    std::thread thread_;
};

}  // namespace tdbus
