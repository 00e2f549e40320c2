#include "tests/support/xmodem_sender.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "platform/server_lock.h"

extern char** environ;

namespace tolvan::test {

namespace {

void MakeRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) throw std::runtime_error("tcgetattr failed");
    ::cfmakeraw(&t);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) throw std::runtime_error("tcsetattr failed");
}

void SetCloseOnExec(int fd) {
    ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
}

// Reads one byte from `fd`, waiting at most `ms` real milliseconds; -1 when none came.
int ReadByte(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, ms);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return -1;
    uint8_t b = 0;
    ssize_t n;
    do {
        n = ::read(fd, &b, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? b : -1;
}

constexpr uint8_t kMarker = 0x7E;
// Only reached when an answer never comes, i.e. when a test fails.
constexpr int kAnswerLimitMs = 5000;

}  // namespace

XModemPty::XModemPty() {
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    SetCloseOnExec(master_);
    SetCloseOnExec(slave_);
    MakeRaw(master_);
    MakeRaw(slave_);
}

XModemPty::~XModemPty() {
    ::close(slave_);
    ::close(master_);
}

void XModemPty::SendFromMaster(std::span<const uint8_t> bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            continue;
        }
        if (n <= 0) throw std::runtime_error("write to pty master failed");
        done += static_cast<size_t>(n);
    }
}

std::vector<uint8_t> XModemPty::ReceiveAtMaster(size_t count) const {
    std::vector<uint8_t> out;
    while (out.size() < count) {
        int b = ReadByte(master_, kAnswerLimitMs);
        if (b < 0) break;
        out.push_back(static_cast<uint8_t>(b));
    }
    return out;
}

SxSender::SxSender(const XModemPty& pty, const std::string& path, bool oneK) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pty.Master(), 0);
    posix_spawn_file_actions_adddup2(&actions, pty.Master(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{"sx", "-q"};
    if (oneK) args.push_back("-k");
    args.push_back(path);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = ::posix_spawnp(&pid_, "sx", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error(std::string("cannot start sx: ") + std::strerror(rc));
    }
}

SxSender::~SxSender() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
}

int SxSender::Wait() {
    if (pid_ <= 0) return -1;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, 0);
    } while (r < 0 && errno == EINTR);
    pid_ = -1;
    if (r < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::vector<uint8_t> XmBlock(uint8_t number, std::span<const uint8_t> data, bool oneK,
                             uint8_t checksumDelta) {
    const size_t size = oneK ? 1024 : 128;
    std::vector<uint8_t> out;
    out.push_back(oneK ? 0x02 : 0x01);
    out.push_back(number);
    out.push_back(static_cast<uint8_t>(~number));
    uint8_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = i < data.size() ? data[i] : 0x1A;
        out.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    out.push_back(static_cast<uint8_t>(sum + checksumDelta));
    return out;
}

std::vector<uint8_t> AnswersSoFar(const XModemPty& pty, XModemLink& link) {
    {
        plat::ServerLockGuard lock;
        if (link.WriteCharToPort(kMarker) != 1) throw std::runtime_error("cannot send the marker");
    }
    std::vector<uint8_t> answers;
    for (;;) {
        int b = ReadByte(pty.Master(), kAnswerLimitMs);
        if (b < 0) throw std::runtime_error("marker did not come back");
        if (b == kMarker) return answers;
        answers.push_back(static_cast<uint8_t>(b));
    }
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x >> 11);
    }
    return out;
}

void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvan-xmodem-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace tolvan::test
