// Mutexes with a place in the lock order. Every mutex of the server has a rank; a thread
// may only take a mutex whose rank is higher than that of every other mutex it holds
// (taking a recursive mutex it already holds again is fine). Debug builds check this on
// every lock and abort with both ranks named when it is broken, so an order that could
// deadlock shows in the first test that walks it, not in the field. Release builds
// (NDEBUG) keep no ranks: a RankedMutex is then a plain mutex.
//
// docs/threading.md explains the order; keep the two in step.
#pragma once

#include <mutex>
#include <shared_mutex>
#include <type_traits>

namespace tolvan::plat {

// Lower ranks are taken first (outer locks), higher ranks inside them.
enum class LockRank : int {
    kTransferStart = 10,    // automation: one reception starts at a time
    kServer = 20,           // the server lock (platform/server_lock.h)
    kFileTransfer = 30,     // the transfer threads' count
    kPortList = 50,         // the open port list (recursive)
    kIdleHook = 52,         // the port idle hook
    kDeviceMap = 60,        // COM number -> device
    kCommTable = 62,        // the table of open handles
    kCommPort = 64,         // one open handle
    kSimRegistry = 70,      // named simulated devices
    kSimDevice = 72,        // one simulated device
    kSimModem = 74,         // the simulated modem behind it
    kServerCondition = 78,  // a wake-up of waiters that let the server lock go
    kNetLookup = 80,        // a name lookup on its own thread
    kNetCloser = 82,        // connections closing in the background
    kMemory = 90,           // movable memory blocks
    kWatchedFolders = 91,   // the folders the device watcher should watch
    kDeviceWatcher = 93,    // the watcher thread's wishes
    kAtoms = 92,            // the atom table
    kMessageBox = 94,       // the message box hook
    kTransferRoute = 106,   // where transfer progress goes
    kCallsDone = 112,       // calls that ended on a worker
    kLockReleaseHook = 120  // the test seam (platform/server_lock.h)
};

#ifndef NDEBUG
namespace lock_order {
// Checks that `rank` may be taken now by this thread (aborts when not) and notes it held.
void Acquire(const void* mutex, LockRank rank, bool recursive);
// Notes a lock taken without waiting (try_lock): it cannot deadlock, so only noted.
void Acquired(const void* mutex, LockRank rank);
void Release(const void* mutex);
// The highest rank this thread holds, or 0.
int HighestHeld();
}  // namespace lock_order
#endif

// A mutex of the standard library with its rank. Shared (reader) locking, for a
// std::shared_mutex, is checked like exclusive locking.
template <class Mutex, bool kRecursive>
class BasicRankedMutex {
    static constexpr bool kShared = std::is_same_v<Mutex, std::shared_mutex>;

public:
#ifndef NDEBUG
    explicit BasicRankedMutex(LockRank rank) : rank_(rank) {}
#else
    explicit BasicRankedMutex(LockRank) {}
#endif
    BasicRankedMutex(const BasicRankedMutex&) = delete;
    BasicRankedMutex& operator=(const BasicRankedMutex&) = delete;

    void lock() {
        Acquire();
        mutex_.lock();
    }
    bool try_lock() {
        if (!mutex_.try_lock()) return false;
        Acquired();
        return true;
    }
    void unlock() {
        Release();
        mutex_.unlock();
    }
    void lock_shared() requires kShared {
        Acquire();
        mutex_.lock_shared();
    }
    bool try_lock_shared() requires kShared {
        if (!mutex_.try_lock_shared()) return false;
        Acquired();
        return true;
    }
    void unlock_shared() requires kShared {
        Release();
        mutex_.unlock_shared();
    }

private:
#ifndef NDEBUG
    void Acquire() {
        lock_order::Acquire(this, rank_, kRecursive);
    }
    void Acquired() {
        lock_order::Acquired(this, rank_);
    }
    void Release() {
        lock_order::Release(this);
    }
    LockRank rank_;
#else
    void Acquire() {}
    void Acquired() {}
    void Release() {}
#endif
    Mutex mutex_;
};

using RankedMutex = BasicRankedMutex<std::mutex, false>;
using RankedRecursiveMutex = BasicRankedMutex<std::recursive_mutex, true>;
using RankedSharedMutex = BasicRankedMutex<std::shared_mutex, false>;

}  // namespace tolvan::plat
