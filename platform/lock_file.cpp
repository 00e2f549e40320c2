#include "platform/lock_file.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tolvan::plat {

namespace {

bool ProcessAlive(pid_t pid) {
    if (pid <= 0) return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::string LockPath(const std::string& dir, const std::string& devicePath) {
    return dir + "/" + LockFileName(devicePath);
}

}  // namespace

std::string LockFileName(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("/dev/", 0) == 0) {
        name = name.substr(5);
    } else {
        const auto slash = name.find_last_of('/');
        if (slash != std::string::npos) name = name.substr(slash + 1);
    }
    for (char& c : name)
        if (c == '/') c = '_';
    return "LCK.." + name;
}

pid_t ReadLockPid(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[64] = {};
    const ssize_t n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return 0;
    if (n == 4) {
        // Old binary lock files hold the PID as a native int.
        int32_t binary = 0;
        std::memcpy(&binary, buf, 4);
        bool printable = true;
        for (int i = 0; i < 4; ++i)
            if (!(buf[i] == ' ' || buf[i] == '\n' || (buf[i] >= '0' && buf[i] <= '9')))
                printable = false;
        if (!printable) return binary;
    }
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    return end == buf ? 0 : static_cast<pid_t>(v);
}

LockResult AcquireLockFile(const std::string& dir, const std::string& devicePath) {
    const std::string path = LockPath(dir, devicePath);
    // Two rounds: a stale file is removed and the creation tried once more.
    for (int round = 0; round < 2; ++round) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            char text[16];
            const int len =
                std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
            const bool ok = ::write(fd, text, len) == len;
            ::close(fd);
            if (!ok) {
                ::unlink(path.c_str());
                return LockResult::kUnavailable;
            }
            return LockResult::kTaken;
        }
        if (errno != EEXIST) return LockResult::kUnavailable;
        const pid_t holder = ReadLockPid(path);
        if (holder != ::getpid() && ProcessAlive(holder)) return LockResult::kHeld;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) return LockResult::kUnavailable;
    }
    return LockResult::kHeld;
}

void ReleaseLockFile(const std::string& dir, const std::string& devicePath) {
    const std::string path = LockPath(dir, devicePath);
    if (ReadLockPid(path) == ::getpid()) ::unlink(path.c_str());
}

}  // namespace tolvan::plat
