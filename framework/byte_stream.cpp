#include "framework/byte_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tfw {

FileStream::~FileStream() {
    Close();
}

bool FileStream::Open(const std::string& path, Mode mode) {
    Close();
    int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    errno_ = fd_ < 0 ? errno : 0;
    return fd_ >= 0;
}

bool FileStream::Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    if (rc != 0) {
        errno_ = errno;
        return false;
    }
    return true;
}

bool FileStream::Sync() {
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) {
        errno_ = errno;
        return false;
    }
    return true;
}

long FileStream::Read(std::span<std::uint8_t> out) {
    if (fd_ < 0) return -1;
    for (;;) {
        ssize_t n = ::read(fd_, out.data(), out.size());
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        errno_ = errno;
        return -1;
    }
}

bool FileStream::Write(std::span<const std::uint8_t> data) {
    if (fd_ < 0) return false;
    while (!data.empty()) {
        ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            errno_ = errno;
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

long MemorySource::Read(std::span<std::uint8_t> out) {
    std::size_t n = std::min(out.size(), data_.size() - pos_);
    if (n > 0) std::memcpy(out.data(), data_.data() + pos_, n);
    pos_ += n;
    return static_cast<long>(n);
}

bool MemorySink::Write(std::span<const std::uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return true;
}

}  // namespace tfw
