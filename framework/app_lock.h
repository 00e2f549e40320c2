// Locks on the application: while any lock is held the program stays up even without a
// window (a channel that a client holds takes one). When the last lock goes, the handler
// that the application installed runs (in automation mode it ends the program).
#pragma once

#include <functional>

namespace tfw {

void LockApp();
// Releases one lock; at zero the last-unlock handler runs (on the calling thread).
void UnlockApp();
int AppLockCount();
void SetLastUnlockHandler(std::function<void()> handler);

// Holds one lock for its lifetime.
class AppLock {
public:
    AppLock() { LockApp(); }
    AppLock(const AppLock&) = delete;
    AppLock& operator=(const AppLock&) = delete;
    ~AppLock() { UnlockApp(); }
};

}  // namespace tfw
