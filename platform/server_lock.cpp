#include "platform/server_lock.h"

#include <cassert>
#include <mutex>
#include <thread>

namespace tolvan::plat {

namespace {

std::recursive_mutex g_mutex;
// Levels this thread holds; the mutex itself does not tell.
thread_local int t_depth = 0;

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

ServerUnlockScope::ServerUnlockScope() : depth_(t_depth) {
    for (int i = 0; i < depth_; ++i) ServerLock::Unlock();
}

ServerUnlockScope::~ServerUnlockScope() {
    for (int i = 0; i < depth_; ++i) ServerLock::Lock();
}

}  // namespace tolvan::plat
