#include "ports/port_discovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/device_map.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"

namespace tolvan {

namespace {

std::string Folder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool IsPath(const std::string& target) {
    return !target.empty() && target.find("://") == std::string::npos;
}

bool Under(const std::string& path, const std::string& root) {
    return path == root || path.rfind(root + "/", 0) == 0;
}

// The folders of a path and of every link on the way to what it names, also when the end
// of the chain is not there (an unplugged device behind a link).
std::vector<std::string> ChainFolders(std::string path) {
    std::vector<std::string> folders;
    for (int hop = 0; hop < 8; ++hop) {
        folders.push_back(Folder(path));
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer - 1);
        if (n <= 0) break;
        const std::string link(buffer, static_cast<size_t>(n));
        path = link.front() == '/' ? link : Folder(path) + "/" + link;
    }
    return folders;
}

bool IsCharDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

}  // namespace

PortDiscovery::PortDiscovery(PortRegistry& registry, Hooks hooks)
    : registry_(registry),
      hooks_(std::move(hooks)),
      watcher_([this](const plat::DeviceWatcher::Wake&) { Rescan(); },
               [this] { return HangUpFds(); }) {}

PortDiscovery::~PortDiscovery() {
    Stop();
}

bool PortDiscovery::Start() {
    const bool udev = plat::DeviceMap::DeviceRoot() == "/dev";
    if (!watcher_.Start(udev)) {
        Stop();
        return false;
    }
    // A port that opens, closes, loses or gets back its device changes what the watcher
    // sleeps on. (After the start: the wake-up descriptor exists from then on.)
    observer_ = CSharedPort::AddDeviceObserver(
        [this](CSharedPort&, CSharedPort::DeviceEvent) { watcher_.Kick(); });
    watcher_.Kick();  // for a port that opened while the observer was not there yet
    UpdateFolders();
    return true;
}

void PortDiscovery::Stop() {
    if (observer_ != 0) CSharedPort::RemoveDeviceObserver(observer_);
    observer_ = 0;
    // The watcher thread may be waiting for the server lock in a rescan.
    plat::ServerUnlockScope unlocked;
    watcher_.Stop();
}

bool PortDiscovery::UsingUdev() const {
    return watcher_.UsingUdev();
}

std::vector<std::string> PortDiscovery::WatchFolders(bool deviceFolders) {
    const std::string root = plat::DeviceMap::DeviceRoot();
    std::vector<std::string> folders;
    if (deviceFolders) {
        folders.push_back(root);
        folders.push_back(root + "/serial/by-id");
    }
    for (const auto& [com, target] : plat::DeviceMap::Entries()) {
        if (!IsPath(target)) continue;
        const std::vector<std::string> chain = ChainFolders(target);
        for (size_t i = 0; i < chain.size(); ++i) {
            // The device root itself is udev's or the device folders' business; the
            // mapped path's own folder is always watched.
            if (i > 0 && Under(chain[i], root)) continue;
            folders.push_back(chain[i]);
        }
    }
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    return folders;
}

void PortDiscovery::UpdateFolders() {
    std::vector<std::string> folders = WatchFolders(!watcher_.UsingUdev());
    {
        std::lock_guard lock(foldersMutex_);
        // Setting them wakes the watcher, which rescans: only when they changed.
        if (folders == folders_) return;
        folders_ = folders;
    }
    watcher_.SetFolders(std::move(folders));
}

std::vector<int> PortDiscovery::HangUpFds() {
    plat::ServerLockGuard guard;
    std::vector<int> fds;
    for (const auto& port : registry_.Ports()) {
        if (!port->IsOpen() || port->DeviceLost()) continue;
        if (const int fd = port->ReceiveWaitFd(); fd >= 0) fds.push_back(fd);
    }
    return fds;
}

bool PortDiscovery::Rescan() {
    bool changed = false;
    for (const auto& a : plat::DeviceMap::AssignNewDevices()) {
        changed = true;
        if (hooks_.assigned) hooks_.assigned(a.com, a.target);
    }
    {
        plat::ServerLockGuard guard;
        for (const auto& [com, target] : plat::DeviceMap::Entries()) {
            if (registry_.FindPort(com) != nullptr) continue;
            if (registry_.ProbePort(com) != nullptr) changed = true;
        }
        const bool reconnect = plat::DeviceMap::ReconnectEnabled();
        // By index: a probe on another thread may add a port while a check lets the lock go.
        for (size_t i = 0; i < registry_.Ports().size(); ++i) {
            CSharedPort* port = registry_.Ports()[i].get();
            if (!port->IsOpen()) continue;
            const bool wasLost = port->DeviceLost();
            if (!port->CheckDevice()) continue;
            changed |= !wasLost;
            if (!reconnect) continue;
            // Back when its path names a device again; a node that is not usable yet (udev
            // still setting its mode) is tried again at the next change.
            const std::string path = port->ReopenablePath();
            if (!path.empty() && IsCharDevice(path) && port->Reconnect() == 0) changed = true;
        }
    }
    UpdateFolders();
    if (changed && hooks_.portsChanged) hooks_.portsChanged();
    return changed;
}

}  // namespace tolvan
