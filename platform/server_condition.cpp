#include "platform/server_condition.h"

#include <mutex>

namespace tolvan::plat {

bool ServerCondition::Wait(const std::function<bool()>& ready, LockRelease point,
                           std::optional<std::chrono::milliseconds> limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit.value_or(std::chrono::hours(0));
    for (;;) {
        if (ready()) return true;
        if (limit && std::chrono::steady_clock::now() >= deadline) return false;
        // Read under the server lock: a change made after it moves the generation on.
        uint64_t seen = 0;
        {
            std::lock_guard lock(mutex_);
            seen = generation_;
        }
        ServerUnlockScope unlocked(point);
        std::unique_lock lock(mutex_);
        const auto moved = [&] { return generation_ != seen; };
        if (limit)
            changed_.wait_until(lock, deadline, moved);
        else
            changed_.wait(lock, moved);
    }
}

void ServerCondition::NotifyAll() {
    {
        std::lock_guard lock(mutex_);
        ++generation_;
    }
    changed_.notify_all();
}

}  // namespace tolvan::plat
