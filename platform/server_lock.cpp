#include "platform/server_lock.h"

#include <atomic>
#include <cassert>
#include <memory>

#include "platform/ranked_mutex.h"

namespace tolvan::plat {

namespace {

RankedRecursiveMutex g_mutex{LockRank::kServer};
// Levels this thread holds; the mutex itself does not tell.
thread_local int t_depth = 0;

// The hook, copied out under its mutex and called outside it; the flag keeps the common
// case (no hook) to one load.
std::atomic<bool> g_hookSet{false};
RankedMutex g_hookMutex{LockRank::kLockReleaseHook};
std::shared_ptr<const LockReleaseHook> g_hook;
thread_local bool t_inHook = false;

void CallHook(LockRelease point) {
    if (!g_hookSet.load(std::memory_order_acquire) || t_inHook) return;
    std::shared_ptr<const LockReleaseHook> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_hook;
    }
    if (!hook) return;
    t_inHook = true;
    (*hook)(point);
    t_inHook = false;
}

}  // namespace

void ServerLock::Lock() {
    g_mutex.lock();
    ++t_depth;
}

void ServerLock::Unlock() {
    assert(t_depth > 0);
    --t_depth;
    g_mutex.unlock();
}

bool ServerLock::TryLock() {
    if (!g_mutex.try_lock()) return false;
    ++t_depth;
    return true;
}

bool ServerLock::HeldByMe() {
    return t_depth > 0;
}

int ServerLock::DepthHeldByMe() {
    return t_depth;
}

const char* LockReleaseName(LockRelease point) {
    switch (point) {
        case LockRelease::kWait:
            return "wait";
        case LockRelease::kSleep:
            return "sleep";
        case LockRelease::kNetResolve:
            return "net-resolve";
        case LockRelease::kNetConnect:
            return "net-connect";
        case LockRelease::kNetLingeringClose:
            return "net-lingering-close";
        case LockRelease::kPortOpening:
            return "port-opening";
        case LockRelease::kModemTurn:
            return "modem-turn";
        case LockRelease::kPortProbe:
            return "port-probe";
        case LockRelease::kStartupProbe:
            return "startup-probe";
        case LockRelease::kTransmitDrainer:
            return "transmit-drainer";
        case LockRelease::kMessageBox:
            return "message-box";
        case LockRelease::kOther:
            break;
    }
    return "other";
}

ServerUnlockScope::ServerUnlockScope(LockRelease point) : depth_(t_depth) {
    for (int i = 0; i < depth_; ++i) ServerLock::Unlock();
    if (depth_ > 0) CallHook(point);
}

ServerUnlockScope::~ServerUnlockScope() {
    for (int i = 0; i < depth_; ++i) ServerLock::Lock();
}

void SetLockReleaseHook(LockReleaseHook hook) {
    std::shared_ptr<const LockReleaseHook> next;
    if (hook) next = std::make_shared<const LockReleaseHook>(std::move(hook));
    std::lock_guard lock(g_hookMutex);
    g_hook = std::move(next);
    g_hookSet.store(g_hook != nullptr, std::memory_order_release);
}

}  // namespace tolvan::plat
