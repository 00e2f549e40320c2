#include "platform/device_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#ifdef TOLVAN_HAVE_LIBUDEV
#include <libudev.h>
#endif

namespace tolvan::plat {

namespace {

// What changes a folder's list of devices: entries made, removed, renamed, or given new
// owners and modes (udev makes a node usable after it appeared). Reads and writes of the
// devices themselves are not asked for, so a busy terminal wakes nobody.
constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::string Parent(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

struct DeviceWatcher::Udev {
#ifdef TOLVAN_HAVE_LIBUDEV
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    ~Udev() {
        if (monitor) udev_monitor_unref(monitor);
        if (context) udev_unref(context);
    }
#endif
};

bool DeviceWatcher::UdevAvailable() {
#ifdef TOLVAN_HAVE_LIBUDEV
    // Without a daemon nobody sends the events a monitor waits for.
    return ::access("/run/udev/control", F_OK) == 0;
#else
    return false;
#endif
}

DeviceWatcher::DeviceWatcher(ChangeFn onChange, FdsFn hangUpFds)
    : onChange_(std::move(onChange)), hangUpFds_(std::move(hangUpFds)) {}

DeviceWatcher::~DeviceWatcher() {
    Stop();
}

bool DeviceWatcher::Start(bool udev) {
    if (thread_.joinable()) return true;
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (inotifyFd_ < 0 || wakeFd_ < 0) {
        Stop();
        return false;
    }
#ifdef TOLVAN_HAVE_LIBUDEV
    if (udev && UdevAvailable()) {
        auto u = std::make_unique<Udev>();
        u->context = udev_new();
        if (u->context) u->monitor = udev_monitor_new_from_netlink(u->context, "udev");
        if (u->monitor &&
            udev_monitor_filter_add_match_subsystem_devtype(u->monitor, "tty", nullptr) >= 0 &&
            udev_monitor_enable_receiving(u->monitor) >= 0) {
            udevFd_ = udev_monitor_get_fd(u->monitor);
            ::fcntl(udevFd_, F_SETFL, ::fcntl(udevFd_, F_GETFL) | O_NONBLOCK);
            udev_ = std::move(u);
        }
    }
#else
    (void)udev;
#endif
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DeviceWatcher::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    Kick();
    if (thread_.joinable()) thread_.join();
    udevFd_ = -1;
    udev_.reset();
    for (int* fd : {&inotifyFd_, &wakeFd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    watches_.clear();
}

void DeviceWatcher::SetFolders(std::vector<std::string> folders) {
    {
        std::lock_guard lock(mutex_);
        wanted_ = std::move(folders);
    }
    Kick();
}

void DeviceWatcher::Kick() {
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    // A full counter already wakes the thread; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

bool DeviceWatcher::ArmFolders() {
    std::vector<std::string> wanted;
    {
        std::lock_guard lock(mutex_);
        wanted = wanted_;
    }
    std::vector<std::pair<std::string, int>> armed;
    for (std::string path : wanted) {
        // A folder that is not there yet: watch the nearest one that is, which sees it come.
        for (;;) {
            auto known = std::find_if(watches_.begin(), watches_.end(),
                                      [&](const auto& w) { return w.first == path; });
            int wd = known != watches_.end() ? known->second : -1;
            if (wd < 0) wd = ::inotify_add_watch(inotifyFd_, path.c_str(), kFolderEvents);
            if (wd >= 0) {
                armed.emplace_back(path, wd);
                break;
            }
            if (path == "/" || path == ".") break;
            path = Parent(path);
        }
    }
    // Watches no longer wanted go. Two paths of one folder share a descriptor: it stays
    // while either is wanted.
    for (const auto& [path, wd] : watches_) {
        const bool kept = std::any_of(armed.begin(), armed.end(),
                                      [wd = wd](const auto& a) { return a.second == wd; });
        if (!kept) ::inotify_rm_watch(inotifyFd_, wd);
    }
    bool added = false;
    for (const auto& a : armed)
        added |= std::none_of(watches_.begin(), watches_.end(),
                              [&](const auto& w) { return w.first == a.first; });
    watches_ = std::move(armed);
    return added;
}

bool DeviceWatcher::DrainInotify() {
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotifyFd_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_IGNORED) {
                // The folder went: its watch is gone with it, and is made again when it
                // comes back.
                watches_.erase(std::remove_if(watches_.begin(), watches_.end(),
                                              [&](const auto& w) { return w.second == e->wd; }),
                               watches_.end());
            }
            changed = true;
        }
    }
    return changed;
}

bool DeviceWatcher::DrainUdev() {
    bool changed = false;
#ifdef TOLVAN_HAVE_LIBUDEV
    while (udev_device* d = udev_monitor_receive_device(udev_->monitor)) {
        changed = true;
        udev_device_unref(d);
    }
#endif
    return changed;
}

void DeviceWatcher::Run() {
    Wake wake;
    wake.first = true;
    bool report = true;
    // Descriptors that hung up last round and were named again: the owner could not settle
    // them (bytes still to read before the loss shows). They would wake the thread at once
    // for ever; they sit out until something else moves.
    std::vector<int> muted;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
        }
        // What came into a folder before its watch stood was not reported: a folder watched
        // anew is looked at once.
        if (ArmFolders() && !wake.first) {
            wake.folders = true;
            report = true;
        }
        if (report) onChange_(wake);
        wake = Wake{};
        report = false;

        std::vector<pollfd> fds;
        fds.push_back({wakeFd_, POLLIN, 0});
        fds.push_back({inotifyFd_, POLLIN, 0});
        if (udevFd_ >= 0) fds.push_back({udevFd_, POLLIN, 0});
        const size_t firstDevice = fds.size();
        // Events 0: only a hang-up, an error or a closed descriptor wakes the thread.
        for (int fd : hangUpFds_())
            if (std::find(muted.begin(), muted.end(), fd) == muted.end()) fds.push_back({fd, 0, 0});
        int r;
        do {
            r = ::poll(fds.data(), fds.size(), -1);
        } while (r < 0 && errno == EINTR);
        if (r < 0) return;  // nothing sensible is left to wait on

        if (fds[0].revents) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
        }
        if (fds[1].revents && DrainInotify()) wake.folders = true;
        if (udevFd_ >= 0 && fds[2].revents && DrainUdev()) wake.folders = true;
        if (fds[0].revents || wake.folders) muted.clear();
        for (size_t i = firstDevice; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            wake.hangUp = true;
            muted.push_back(fds[i].fd);
        }
        report = wake.folders || wake.hangUp;
    }
}

}  // namespace tolvan::plat
