#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>

namespace tolvan::test {

PtyPair::PtyPair() {
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed: " << std::strerror(errno);
        master_ = slave_ = -1;
        return;
    }
    slavePath_ = name;
    for (int fd : {master_, slave_}) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    CloseSlave();
    CloseMaster();
}

void PtyPair::CloseSlave() {
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool PtyPair::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 2000) <= 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool PtyPair::Write(const std::string& text) {
    return Write(std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> PtyPair::Read(size_t n, int timeoutMs) {
    std::vector<uint8_t> out;
    while (out.size() < n) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        uint8_t buf[4096];
        const ssize_t r = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) {
            out.insert(out.end(), buf, buf + r);
        } else if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        } else {
            break;
        }
    }
    return out;
}

std::vector<uint8_t> PtyPair::ReadAvailable(int quietMs) {
    return Read(static_cast<size_t>(-1) / 2, quietMs);
}

termios PtyPair::MasterTermios() const {
    termios t{};
    ::tcgetattr(master_, &t);
    return t;
}

ScratchDir::ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tolvan-test-XXXXXX").string();
    if (char* made = ::mkdtemp(tmpl.data()))
        path_ = made;
    else
        ADD_FAILURE() << "mkdtemp failed";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace tolvan::test
