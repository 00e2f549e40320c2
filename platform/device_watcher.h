// A thread that sleeps until serial devices may have come or gone, and says so.
//
// It watches folders with inotify (a folder that does not exist yet is watched through its
// nearest existing parent, so /dev/serial/by-id is seen when it appears), listens to udev
// for tty devices when the build has libudev and a udev daemon runs, and polls descriptors
// its owner names for a hang-up (an open device that was unplugged). Nothing is polled on a
// timer: the thread sleeps in poll() until one of these moves, then calls the owner once for
// the whole batch. The owner rescans; the watcher does not say what changed.
//
// Callbacks run on the watcher thread. `hangUpFds` is asked before every sleep; it names
// descriptors to be woken for when they hang up (poll events 0). Kick() makes the thread ask
// again (and re-arm its folders) without a change being reported.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ranked_mutex.h"

namespace tolvan::plat {

class DeviceWatcher {
public:
    struct Wake {
        bool folders = false;  // a watched folder or udev reported a change
        bool hangUp = false;   // a named descriptor hung up (or was closed)
        bool first = false;    // the first round, once the watches stand
    };
    using ChangeFn = std::function<void(const Wake&)>;
    using FdsFn = std::function<std::vector<int>()>;

    DeviceWatcher(ChangeFn onChange, FdsFn hangUpFds);
    // Stops the thread. Must not run while the caller holds a lock the callbacks take.
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    // Starts the thread; `udev`: listen to udev as well, when this build and system can.
    // The thread arms its watches and then calls onChange once (Wake::first), so a device
    // that came between the owner's own first look and the start is not missed.
    // False when inotify is not to be had.
    bool Start(bool udev);
    void Stop();

    // The folders to watch from the next round on (thread-safe; wakes the thread).
    void SetFolders(std::vector<std::string> folders);
    // Wakes the thread so it asks for the descriptors again. Thread-safe.
    void Kick();

    // True while the thread listens to udev.
    bool UsingUdev() const { return udevFd_ >= 0; }
    // True when this build has libudev and a udev daemon runs on this system.
    static bool UdevAvailable();

private:
    void Run();
    bool ArmFolders();    // true when a path is watched that was not before
    bool DrainInotify();  // true when an event was about a watched folder's contents
    bool DrainUdev();

    ChangeFn onChange_;
    FdsFn hangUpFds_;
    int inotifyFd_ = -1;
    int wakeFd_ = -1;
    int udevFd_ = -1;
    struct Udev;
    std::unique_ptr<Udev> udev_;                   // the libudev objects while udev is used
    RankedMutex mutex_{LockRank::kDeviceWatcher};  // guards wanted_ and stop_
    std::vector<std::string> wanted_;
    bool stop_ = false;
    // Thread-only: watched path -> watch descriptor.
    std::vector<std::pair<std::string, int>> watches_;
    std::thread thread_;
};

}  // namespace tolvan::plat
