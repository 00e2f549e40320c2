// The server lock: one recursive mutex that guards all port and channel state. Code
// takes it around each operation on a channel or port (ServerLockGuard); the platform
// wait function hands it back while it sleeps (ServerUnlockScope), so a waiting call does
// not hold up other threads.
#pragma once

namespace tolvan::plat {

class ServerLock {
public:
    static void Lock();
    static void Unlock();
    static bool TryLock();
    static bool HeldByMe();
    static int DepthHeldByMe();  // 0 when this thread does not hold it
};

class ServerLockGuard {
public:
    ServerLockGuard() { ServerLock::Lock(); }
    ~ServerLockGuard() { ServerLock::Unlock(); }
    ServerLockGuard(const ServerLockGuard&) = delete;
    ServerLockGuard& operator=(const ServerLockGuard&) = delete;
};

// Releases every level this thread holds for the scope and takes them back after.
// Does nothing when this thread does not hold the lock.
class ServerUnlockScope {
public:
    ServerUnlockScope();
    ~ServerUnlockScope();
    ServerUnlockScope(const ServerUnlockScope&) = delete;
    ServerUnlockScope& operator=(const ServerUnlockScope&) = delete;

private:
    int depth_;
};

}  // namespace tolvan::plat
