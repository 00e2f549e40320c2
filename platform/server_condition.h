// A wake-up for threads that wait, with the server lock let go, for state that another
// thread changes under the server lock: the waiter checks its predicate under the lock,
// the changer calls NotifyAll after the change. No polling: a waiter sleeps until told.
//
//   plat::ServerCondition opened;                        // beside the state it guards
//   opened.Wait([&] { return !opening_; }, plat::LockRelease::kPortOpening);
//   ... opening_ = false; opened.NotifyAll();            // under the server lock
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/ranked_mutex.h"
#include "platform/server_lock.h"

namespace tolvan::plat {

class ServerCondition {
public:
    ServerCondition() = default;
    ServerCondition(const ServerCondition&) = delete;
    ServerCondition& operator=(const ServerCondition&) = delete;

    // Called with the server lock held (any depth). Until ready() holds: lets the lock go
    // at `point`, sleeps until NotifyAll (or the limit of real time passes), takes the
    // lock back and asks again. Returns ready()'s last answer.
    bool Wait(const std::function<bool()>& ready, LockRelease point,
              std::optional<std::chrono::milliseconds> limit = std::nullopt);
    // Wakes every waiter; call it after changing what they look at.
    void NotifyAll();

private:
    RankedMutex mutex_{LockRank::kServerCondition};
    std::condition_variable_any changed_;
    uint64_t generation_ = 0;
};

}  // namespace tolvan::plat
