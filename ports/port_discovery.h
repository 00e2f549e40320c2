// Serial devices that come and go while the server runs. A device watcher thread
// (platform/device_watcher.h) wakes on a change in the device folders (or a udev event), in
// the folder of any port mapped to a path, or on the hang-up of an open port's device; each
// wake is one Rescan:
//   1. devices not yet mapped get the next free COM numbers (DeviceMap::AssignNewDevices),
//      which the `assigned` hook writes to the profile;
//   2. mapped numbers whose device is now there get a shared port in the registry;
//   3. open ports whose device went away are marked lost (their channels are told), and
//      lost ports whose device is back at the same path are reopened (when reconnecting is
//      on), so their channels carry on.
// Nothing runs between wakes: no timer, no polling.
//
// Threads: Rescan runs on the watcher thread (or the caller's, for the first look) and takes
// the server lock for steps 2 and 3; it lets go of it nowhere in between. The hooks run on
// the watcher thread without the server lock.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/device_watcher.h"

#include "platform/ranked_mutex.h"

namespace tolvan {

class PortRegistry;

class PortDiscovery {
public:
    struct Hooks {
        // A COM number given to a device, or moved to its stable name.
        std::function<void(int com, const std::string& target)> assigned;
        // The registry holds new ports, or a port lost or got back its device.
        std::function<void()> portsChanged;
    };

    PortDiscovery(PortRegistry& registry, Hooks hooks);
    // Stops. Lets go of the server lock while the thread ends, when the caller holds it.
    ~PortDiscovery();
    PortDiscovery(const PortDiscovery&) = delete;
    PortDiscovery& operator=(const PortDiscovery&) = delete;

    // Starts watching: udev when it can be had and devices are looked for under /dev,
    // inotify on the device folders otherwise. False when the watcher cannot run.
    bool Start();
    void Stop();
    bool UsingUdev() const;

    // One round of the three steps above. Returns true when anything changed.
    bool Rescan();

    // The folders to watch: the folder of every port mapped to a path and of each link on
    // the way to its device (outside the device root), and the device root with its
    // serial/by-id folder when `deviceFolders`.
    static std::vector<std::string> WatchFolders(bool deviceFolders);

private:
    std::vector<int> HangUpFds();
    void UpdateFolders();

    PortRegistry& registry_;
    Hooks hooks_;
    int observer_ = 0;
    plat::RankedMutex foldersMutex_{plat::LockRank::kWatchedFolders};
    std::vector<std::string> folders_;  // last given to the watcher
    plat::DeviceWatcher watcher_;
};

}  // namespace tolvan
