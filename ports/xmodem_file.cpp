#include "ports/xmodem_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tolvan {

XModemFile::~XModemFile() {
    Close();
}

XModemFile::XModemFile(XModemFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

XModemFile& XModemFile::operator=(XModemFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool XModemFile::Create(const std::string& path) {
    Close();
    if (path.empty()) return false;
    // Not O_TRUNC: a file that another opener holds exclusively must stay untouched,
    // so empty it only after the lock is ours.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool XModemFile::Write(std::span<const uint8_t> data) {
    if (fd_ < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool XModemFile::CutTo(int64_t length) {
    if (fd_ < 0 || length < 0) return false;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_size <= length) return true;
    return ::ftruncate(fd_, static_cast<off_t>(length)) == 0;
}

bool XModemFile::Close() {
    if (fd_ < 0) return true;
    int fd = std::exchange(fd_, -1);
    // The flock goes with the descriptor.
    return ::close(fd) == 0;
}

}  // namespace tolvan
