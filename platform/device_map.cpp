#include "platform/device_map.h"
#include "platform/ranked_mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

namespace tolvan::plat {

namespace {

RankedMutex g_mutex{LockRank::kDeviceMap};
std::map<int, std::string> g_entries;
bool g_auto = true;
bool g_reconnect = true;
std::string g_root = "/dev";
// Numbers this run gave to a kernel name ("ttyUSB0") because the device's stable name was
// not there yet: they move to the stable name when it comes.
std::set<int> g_byKernelName;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string RealPath(const std::string& path) {
    std::string out = path;
    if (char* r = ::realpath(path.c_str(), nullptr)) {
        out = r;
        std::free(r);
    }
    return out;
}

std::vector<std::string> ListDir(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            if (n.rfind(prefix, 0) == 0) names.push_back(n);
        }
        ::closedir(d);
    }
    // Natural order: ttyUSB2 before ttyUSB10.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const auto da = a.find_first_of("0123456789");
        const auto db = b.find_first_of("0123456789");
        const std::string pa = a.substr(0, da), pb = b.substr(0, db);
        if (pa != pb || da == std::string::npos || db == std::string::npos) return a < b;
        const long na = std::strtol(a.c_str() + da, nullptr, 10);
        const long nb = std::strtol(b.c_str() + db, nullptr, 10);
        return na != nb ? na < nb : a < b;
    });
    return names;
}

// A ttyS device with no UART behind it is only a name.
bool HasUart(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct ss{};
    const bool ok = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
    ::close(fd);
    return ok;
}

bool IsOff(const std::string& v) {
    const std::string l = Lower(v);
    return l == "0" || l == "false" || l == "no" || l == "off";
}

bool CanOpen(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = ::isatty(fd);
    ::close(fd);
    return tty;
}

}  // namespace

int ParseComName(const std::string& name) {
    std::string s = name;
    if (s.rfind("\\\\.\\", 0) == 0) s = s.substr(4);
    if (s.size() < 4 || Lower(s.substr(0, 3)) != "com") return 0;
    int n = 0;
    for (size_t i = 3; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return 0;
        n = n * 10 + (s[i] - '0');
        if (n > DeviceMap::kMaxCom) return 0;
    }
    return n;
}

void DeviceMap::Set(int com, std::string target) {
    if (com < 1 || com > kMaxCom) return;
    std::lock_guard lock(g_mutex);
    g_entries[com] = std::move(target);
    g_byKernelName.erase(com);
}

void DeviceMap::Remove(int com) {
    std::lock_guard lock(g_mutex);
    g_entries.erase(com);
    g_byKernelName.erase(com);
}

void DeviceMap::Clear() {
    std::lock_guard lock(g_mutex);
    g_entries.clear();
    g_byKernelName.clear();
    g_auto = true;
    g_reconnect = true;
    g_root = "/dev";
}

std::optional<std::string> DeviceMap::Lookup(int com) {
    std::lock_guard lock(g_mutex);
    auto it = g_entries.find(com);
    if (it == g_entries.end()) return std::nullopt;
    return it->second;
}

std::vector<std::pair<int, std::string>> DeviceMap::Entries() {
    std::lock_guard lock(g_mutex);
    return {g_entries.begin(), g_entries.end()};
}

int DeviceMap::Configure(const std::vector<std::pair<std::string, std::string>>& section) {
    int taken = 0;
    for (const auto& [key, value] : section) {
        const std::string k = Lower(Trim(key));
        const std::string v = Trim(value);
        if (k == "auto") {
            SetAutoAssign(!IsOff(v));
            continue;
        }
        if (k == "reconnect") {
            SetReconnect(!IsOff(v));
            continue;
        }
        if (k == "deviceroot") {
            if (!v.empty()) SetDeviceRoot(v);
            continue;
        }
        const int com = ParseComName(k);
        if (com > 0 && !v.empty()) {
            Set(com, v);
            ++taken;
        }
    }
    return taken;
}

void DeviceMap::SetAutoAssign(bool on) {
    std::lock_guard lock(g_mutex);
    g_auto = on;
}

bool DeviceMap::AutoAssignEnabled() {
    std::lock_guard lock(g_mutex);
    return g_auto;
}

void DeviceMap::SetReconnect(bool on) {
    std::lock_guard lock(g_mutex);
    g_reconnect = on;
}

bool DeviceMap::ReconnectEnabled() {
    std::lock_guard lock(g_mutex);
    return g_reconnect;
}

void DeviceMap::SetDeviceRoot(std::string root) {
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::lock_guard lock(g_mutex);
    g_root = std::move(root);
}

std::string DeviceMap::DeviceRoot() {
    std::lock_guard lock(g_mutex);
    return g_root;
}

std::vector<std::string> DeviceMap::FindSerialDevices(const std::string& root) {
    const std::string devRoot = root.empty() ? DeviceRoot() : root;
    std::vector<std::string> found;
    std::set<std::string> seen;  // resolved paths
    auto add = [&](const std::string& path) {
        const std::string real = RealPath(path);
        if (seen.insert(real).second) found.push_back(path);
    };
    const std::string byId = devRoot + "/serial/by-id";
    for (const auto& n : ListDir(byId, "")) add(byId + "/" + n);
    for (const char* prefix : {"ttyACM", "ttyUSB"})
        for (const auto& n : ListDir(devRoot, prefix)) add(devRoot + "/" + n);
    for (const auto& n : ListDir(devRoot, "ttyS")) {
        const std::string path = devRoot + "/" + n;
        if (!seen.count(RealPath(path)) && HasUart(path)) add(path);
    }
    return found;
}

std::vector<DeviceMap::Assignment> DeviceMap::AssignNewDevices(const std::string& root) {
    if (!AutoAssignEnabled()) return {};
    const std::string devRoot = root.empty() ? DeviceRoot() : root;
    const std::string byIdFolder = devRoot + "/serial/by-id/";
    const auto devices = FindSerialDevices(devRoot);
    std::lock_guard lock(g_mutex);
    std::map<std::string, int> mapped;  // resolved target -> COM number
    for (const auto& [com, target] : g_entries) mapped.emplace(RealPath(target), com);
    std::map<int, std::string> changed;
    int com = 1;
    for (const auto& dev : devices) {
        const std::string real = RealPath(dev);
        if (auto it = mapped.find(real); it != mapped.end()) {
            // Numbered by its kernel name a moment ago: now it has its stable name.
            const int held = it->second;
            if (g_byKernelName.count(held) && dev.rfind(byIdFolder, 0) == 0) {
                g_entries[held] = dev;
                g_byKernelName.erase(held);
                changed[held] = dev;
            }
            continue;
        }
        if (!CanOpen(dev)) continue;
        while (com <= kMaxCom && g_entries.count(com)) ++com;
        if (com > kMaxCom) break;
        g_entries[com] = dev;
        if (dev.rfind(byIdFolder, 0) != 0) g_byKernelName.insert(com);
        mapped.emplace(real, com);
        changed[com] = dev;
    }
    std::vector<Assignment> out;
    for (auto& [n, target] : changed) out.push_back({n, std::move(target)});
    return out;
}

int DeviceMap::AutoAssign(const std::string& devRoot) {
    const std::set<int> before = [] {
        std::set<int> numbers;
        for (const auto& [com, target] : Entries()) numbers.insert(com);
        return numbers;
    }();
    int added = 0;
    for (const auto& a : AssignNewDevices(devRoot)) added += before.count(a.com) == 0;
    return added;
}

}  // namespace tolvan::plat
