// A real tty as a CommDevice.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/comm_device.h"
#include "platform/custom_baud.h"
#include "platform/lock_file.h"
#include "platform/termios_compose.h"

namespace tolvan::plat {

namespace {

uint32_t ErrorFromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EBUSY:
        case EWOULDBLOCK:
            return ERROR_ACCESS_DENIED;
        case EIO:
        case EPIPE:
            return ERROR_DEVICE_NOT_CONNECTED;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

// Modem-line calls on a device without modem lines (ptys, some adapters).
bool NoModemLines(int e) {
    return e == ENOTTY || e == EINVAL;
}

// Opens a tty exclusively: flock, the lock file of the real device, TIOCEXCL. The
// descriptor, or -1 with *error set.
int OpenExclusive(const std::string& path, const std::string& lockDir, std::string* real,
                  bool* lockFileTaken, uint32_t* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        *error = ErrorFromErrno(errno);
        return -1;
    }
    if (!S_ISCHR(st.st_mode)) {
        *error = ERROR_FILE_NOT_FOUND;  // not a serial device
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = ErrorFromErrno(errno);
        return -1;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        *error = ERROR_FILE_NOT_FOUND;
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    // The lock file goes by the real device, so a terminal program that opened a
    // symlinked name sees the same lock.
    *real = path;
    if (char* r = ::realpath(path.c_str(), nullptr)) {
        *real = r;
        std::free(r);
    }
    const LockResult lock = AcquireLockFile(lockDir, *real);
    if (lock == LockResult::kHeld) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        *error = ERROR_ACCESS_DENIED;
        return -1;
    }
    ::ioctl(fd, TIOCEXCL);
    *lockFileTaken = lock == LockResult::kTaken;
    *error = ERROR_SUCCESS;
    return fd;
}

class TtyDevice final : public CommDevice {
public:
    TtyDevice(int fd, std::string openPath, std::string path, std::string lockDir,
              bool lockFileTaken)
        : fd_(fd),
          openPath_(std::move(openPath)),
          path_(std::move(path)),
          lockDir_(std::move(lockDir)),
          lockFileTaken_(lockFileTaken) {
        serial_icounter_struct c{};
        if (::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
            counts_ = c;
            haveCounts_ = true;
        }
    }
    ~TtyDevice() override { Close(); }

    uint32_t Read(uint8_t* buf, uint32_t n, uint32_t* got) override {
        *got = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        if (n == 0) return ERROR_SUCCESS;
        for (;;) {
            const ssize_t r = ::read(fd_, buf, n);
            if (r > 0) {
                *got = static_cast<uint32_t>(r);
                return ERROR_SUCCESS;
            }
            // With VMIN and VTIME 0 a read of nothing returns 0: a hang-up only when poll
            // says so.
            if (r == 0) return HungUp() ? Gone() : ERROR_SUCCESS;
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return ERROR_SUCCESS;
            if (errno == EIO || errno == ENXIO || errno == ENODEV) return Gone();
            return ErrorFromErrno(errno);
        }
    }

    uint32_t Write(const uint8_t* buf, uint32_t n, uint32_t* written) override {
        *written = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        while (*written < n) {
            const ssize_t r = ::write(fd_, buf + *written, n - *written);
            if (r > 0) {
                *written += static_cast<uint32_t>(r);
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r < 0 && errno == EAGAIN) return ERROR_SUCCESS;
            if (r < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) return Gone();
            return r < 0 ? ErrorFromErrno(errno) : ERROR_SUCCESS;
        }
        return ERROR_SUCCESS;
    }

    uint32_t Query(uint32_t* errors, uint32_t* inQueue, uint32_t* outQueue) override {
        *errors = 0;
        *inQueue = 0;
        *outQueue = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        int in = 0;
        if (::ioctl(fd_, FIONREAD, &in) != 0) {
            if (errno == EIO || errno == ENXIO || errno == ENODEV) return Gone();
            return ErrorFromErrno(errno);
        }
        int out = 0;
        if (::ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
        // Nothing to read and the other end hung up: the device is gone.
        if (in == 0 && HungUp()) return Gone();
        *inQueue = static_cast<uint32_t>(in);
        *outQueue = static_cast<uint32_t>(out);
        *errors = NewErrors();
        return ERROR_SUCCESS;
    }

    uint32_t ReadState(Dcb* dcb) override {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0) return ErrorFromErrno(errno);
        uint32_t custom = 0;
        if (SpeedValue(cfgetospeed(&t)) == 0) GetActualBaud(fd_, &custom);
        *dcb = DecodeTermios(t, custom);
        return ERROR_SUCCESS;
    }

    uint32_t Apply(const Dcb& dcb) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        termios base{};
        if (::tcgetattr(fd_, &base) != 0) return ErrorFromErrno(errno);
        ComposedTermios c;
        if (uint32_t e = ComposeTermios(base, dcb, &c); e != ERROR_SUCCESS) return e;
        if (::tcsetattr(fd_, TCSANOW, &c.tio) != 0) {
            // The C library reports EINVAL when a pty kept 8 bits without parity, after the
            // kernel took everything else. A pty has no wire to frame: that is no failure.
            const int e = errno;
            termios now{};
            if (e != EINVAL || ::tcgetattr(fd_, &now) != 0 || !SameButFraming(now, c.tio))
                return ErrorFromErrno(e);
        }
        if (!c.standardSpeed && !SetCustomBaud(fd_, c.wireBaud)) {
            const int e = errno;
            ::tcsetattr(fd_, TCSANOW, &base);
            return ErrorFromErrno(e);
        }
        // Drivers may round or ignore a rate they cannot make; such a rate is refused.
        uint32_t actual = 0;
        if (GetActualBaud(fd_, &actual) && !RateClose(actual, c.wireBaud)) {
            ::tcsetattr(fd_, TCSANOW, &base);
            return ERROR_INVALID_PARAMETER;
        }
        SetLines(dcb.fDtrControl != DTR_CONTROL_DISABLE ? 1 : 0,
                 dcb.fRtsControl == RTS_CONTROL_DISABLE  ? 0
                 : dcb.fRtsControl == RTS_CONTROL_ENABLE ? 1
                                                         : -1);
        return ERROR_SUCCESS;
    }

    uint32_t SetLines(int dtr, int rts) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        int set = 0, clear = 0;
        (dtr == 1 ? set : clear) |= dtr >= 0 ? TIOCM_DTR : 0;
        (rts == 1 ? set : clear) |= rts >= 0 ? TIOCM_RTS : 0;
        if (set && ::ioctl(fd_, TIOCMBIS, &set) != 0 && !NoModemLines(errno))
            return ErrorFromErrno(errno);
        if (clear && ::ioctl(fd_, TIOCMBIC, &clear) != 0 && !NoModemLines(errno))
            return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    uint32_t SetBreak(bool on) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0 && !NoModemLines(errno))
            return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    uint32_t ModemStatus(uint32_t* ms) override {
        *ms = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0)
            return NoModemLines(errno) ? ERROR_SUCCESS : ErrorFromErrno(errno);
        if (bits & TIOCM_CTS) *ms |= MS_CTS_ON;
        if (bits & TIOCM_DSR) *ms |= MS_DSR_ON;
        if (bits & TIOCM_RI) *ms |= MS_RING_ON;
        if (bits & TIOCM_CD) *ms |= MS_RLSD_ON;
        return ERROR_SUCCESS;
    }

    uint32_t Purge(bool rx, bool tx) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        const int what = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
        if ((rx || tx) && ::tcflush(fd_, what) != 0) return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    uint32_t Flow(bool resume) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        if (::tcflow(fd_, resume ? TCOON : TCOOFF) != 0) return ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }

    int PollFd() const override { return fd_; }

    uint32_t Reopen() override {
        if (fd_ < 0) return ERROR_INVALID_HANDLE;
        std::string real;
        bool lockTaken = false;
        uint32_t error = ERROR_SUCCESS;
        const int fresh = OpenExclusive(openPath_, lockDir_, &real, &lockTaken, &error);
        if (fresh < 0) return error;
        // The old device's locks go; the fresh one takes over the descriptor number.
        if (lockFileTaken_ && real != path_) ReleaseLockFile(lockDir_, path_);
        if (::dup2(fresh, fd_) < 0) {
            const int e = errno;
            ::close(fresh);
            if (lockTaken && real != path_) ReleaseLockFile(lockDir_, real);
            return ErrorFromErrno(e);
        }
        ::close(fresh);
        path_ = std::move(real);
        lockFileTaken_ = lockTaken;
        gone_ = false;
        serial_icounter_struct c{};
        haveCounts_ = ::ioctl(fd_, TIOCGICOUNT, &c) == 0;
        counts_ = c;
        Dcb dcb;
        if (ReadState(&dcb) == ERROR_SUCCESS) Apply(dcb);
        return ERROR_SUCCESS;
    }

    void Close() override {
        if (fd_ < 0) return;
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        fd_ = -1;
        if (lockFileTaken_) ReleaseLockFile(lockDir_, path_);
    }

private:
    static bool SameButFraming(const termios& a, const termios& b) {
        const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CREAD;
        return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
               (a.c_cflag & ~framing) == (b.c_cflag & ~framing) &&
               cfgetospeed(&a) == cfgetospeed(&b) && a.c_cc[VMIN] == b.c_cc[VMIN] &&
               a.c_cc[VTIME] == b.c_cc[VTIME] && a.c_cc[VSTART] == b.c_cc[VSTART] &&
               a.c_cc[VSTOP] == b.c_cc[VSTOP];
    }

    static bool RateClose(uint32_t actual, uint32_t wanted) {
        const uint64_t diff = actual > wanted ? actual - wanted : wanted - actual;
        return diff * 100 <= static_cast<uint64_t>(wanted) * 3;  // within 3 %
    }

    bool HungUp() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
    }

    uint32_t Gone() {
        gone_ = true;
        return ERROR_DEVICE_NOT_CONNECTED;
    }

    // Line errors as differences of the driver's counters.
    uint32_t NewErrors() {
        if (!haveCounts_) return 0;
        serial_icounter_struct c{};
        if (::ioctl(fd_, TIOCGICOUNT, &c) != 0) return 0;
        uint32_t e = 0;
        if (c.overrun != counts_.overrun) e |= CE_OVERRUN;
        if (c.buf_overrun != counts_.buf_overrun) e |= CE_RXOVER;
        if (c.parity != counts_.parity) e |= CE_RXPARITY;
        if (c.frame != counts_.frame) e |= CE_FRAME;
        if (c.brk != counts_.brk) e |= CE_BREAK;
        counts_ = c;
        return e;
    }

    int fd_;
    std::string openPath_;  // as asked for (a link is opened again by its name)
    std::string path_;      // the real device: the lock file goes by it
    std::string lockDir_;
    bool lockFileTaken_;
    bool gone_ = false;
    bool haveCounts_ = false;
    serial_icounter_struct counts_{};
};

}  // namespace

std::unique_ptr<CommDevice> OpenTtyDevice(const std::string& path, const std::string& lockDir,
                                          uint32_t* error) {
    std::string real;
    bool lockTaken = false;
    const int fd = OpenExclusive(path, lockDir, &real, &lockTaken, error);
    if (fd < 0) return nullptr;
    auto dev = std::make_unique<TtyDevice>(fd, path, real, lockDir, lockTaken);
    // Raw from the start, in the settings the device has.
    Dcb dcb;
    if (dev->ReadState(&dcb) == ERROR_SUCCESS) dev->Apply(dcb);
    *error = ERROR_SUCCESS;
    return dev;
}

}  // namespace tolvan::plat
