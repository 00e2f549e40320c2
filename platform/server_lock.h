// The server lock: one recursive mutex that guards all port and channel state. Code
// takes it around each operation on a channel or port (ServerLockGuard); the few places
// that wait hand it back meanwhile (ServerUnlockScope), so a waiting call does not hold up
// other threads. Each such place is a point where the world may change: docs/threading.md
// lists them, with what the code re-checks afterwards.
//
// Tests reach those points through a hook (ScopedLockReleaseHook): it runs on the thread
// that let the lock go, right after it did and before it waits, so an interleaving that
// would otherwise need luck happens every run.
#pragma once

#include <functional>

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

// Every point where the server lock is let go.
enum class LockRelease {
    kWait,               // the platform wait function between two checks (ticks.h)
    kSleep,              // the platform sleep (ticks.h)
    kNetResolve,         // a host name lookup (net_address.h)
    kNetConnect,         // a TCP connect (net_address.h)
    kNetLingeringClose,  // an open waiting for the close of the same address to end
    kPortOpening,        // a connect waiting for another connect's open of the port
    kModemTurn,          // a modem command waiting for the conversation's turn
    kPortProbe,          // a device tried (opened and closed) to see whether it is there
    kStartupProbe,       // a connect waiting for the start-up probe to reach its port
    kTransmitDrainer,    // a shared port's transmit drainer between two rounds
    kMessageBox,         // a message box shown on the window thread for another thread
    kOther,
};
const char* LockReleaseName(LockRelease point);

// Releases every level this thread holds for the scope and takes them back after.
// Does nothing when this thread does not hold the lock (and then calls no hook).
class ServerUnlockScope {
public:
    explicit ServerUnlockScope(LockRelease point = LockRelease::kOther);
    ~ServerUnlockScope();
    ServerUnlockScope(const ServerUnlockScope&) = delete;
    ServerUnlockScope& operator=(const ServerUnlockScope&) = delete;

private:
    int depth_;
};

// The test seam. The hook is called with the point's name on the thread that has just let
// the lock go; what it does happens exactly there. Calls nested inside a hook (its own
// operation letting the lock go) do not call it again. One hook at a time.
using LockReleaseHook = std::function<void(LockRelease)>;
void SetLockReleaseHook(LockReleaseHook hook);  // empty: none

class ScopedLockReleaseHook {
public:
    explicit ScopedLockReleaseHook(LockReleaseHook hook) { SetLockReleaseHook(std::move(hook)); }
    ~ScopedLockReleaseHook() { SetLockReleaseHook({}); }
    ScopedLockReleaseHook(const ScopedLockReleaseHook&) = delete;
    ScopedLockReleaseHook& operator=(const ScopedLockReleaseHook&) = delete;
};

}  // namespace tolvan::plat
