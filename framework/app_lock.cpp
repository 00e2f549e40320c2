#include "framework/app_lock.h"

#include <atomic>
#include <mutex>

namespace tfw {
namespace {

std::atomic<int> g_locks{0};
std::mutex g_handlerMutex;
std::function<void()>& Handler() {
    static std::function<void()> handler;
    return handler;
}

}  // namespace

void LockApp() {
    ++g_locks;
}

void UnlockApp() {
    int left = --g_locks;
    if (left < 0) {
        // An unbalanced unlock is a caller's fault; keep the count sane rather than negative.
        g_locks = 0;
        return;
    }
    if (left == 0) {
        std::function<void()> handler;
        {
            std::lock_guard lock(g_handlerMutex);
            handler = Handler();
        }
        if (handler) handler();
    }
}

int AppLockCount() {
    return g_locks.load();
}

void SetLastUnlockHandler(std::function<void()> handler) {
    std::lock_guard lock(g_handlerMutex);
    Handler() = std::move(handler);
}

}  // namespace tfw
