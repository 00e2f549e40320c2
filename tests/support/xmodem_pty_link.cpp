#include "tests/support/xmodem_pty_link.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/status_text.h"

namespace tolvan::test {

XModemPtyLink* XModemPtyLink::Create(int fd, std::shared_ptr<std::atomic<bool>> destroyed) {
    return new XModemPtyLink(fd, std::move(destroyed));
}

XModemPtyLink::XModemPtyLink(int fd, std::shared_ptr<std::atomic<bool>> destroyed)
    : fd_(fd), destroyed_(std::move(destroyed)) {
    int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

XModemPtyLink::~XModemPtyLink() {
    if (destroyed_) destroyed_->store(true);
}

void XModemPtyLink::CheckLocked() {
    if (!plat::ServerLock::HeldByMe()) ++unlockedCalls_;
}

void XModemPtyLink::PollReceive() {
    uint8_t chunk[512];
    for (;;) {
        ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            rx_.insert(rx_.end(), chunk, chunk + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // 0 or EIO: the other end went away.
        portError_ = kStatusGeneralError;
        return;
    }
}

int16_t XModemPtyLink::WriteCharToPort(int16_t ch) {
    CheckLocked();
    if (!connected_) return kStatusNotSetUp;
    const uint8_t byte = static_cast<uint8_t>(ch & 0xFF);
    for (;;) {
        ssize_t n = ::write(fd_, &byte, 1);
        if (n == 1) return 1;
        if (n < 0 && errno == EINTR) continue;
        return 0;
    }
}

int16_t XModemPtyLink::ReadCharFromPortTimed(int32_t ms) {
    CheckLocked();
    if (!connected_) return kStatusNotSetUp;
    int value = -1;
    plat::WaitFor(
        [&] {
            PollReceive();
            if (!rx_.empty()) {
                value = rx_.front();
                rx_.pop_front();
                return true;
            }
            return portError_ != 0;
        },
        static_cast<uint32_t>(ms < 0 ? 0 : ms), fd_, POLLIN);
    if (value >= 0) return static_cast<int16_t>(value);
    return portError_ != 0 ? portError_ : static_cast<int16_t>(kStatusTimeOut);
}

int16_t XModemPtyLink::ReadFromPortTimed(std::span<uint8_t> dest, int32_t ms) {
    CheckLocked();
    if (!connected_) return 0;
    size_t filled = 0;
    plat::WaitFor(
        [&] {
            PollReceive();
            while (filled < dest.size() && !rx_.empty()) {
                dest[filled++] = rx_.front();
                rx_.pop_front();
            }
            return filled == dest.size() || portError_ != 0;
        },
        static_cast<uint32_t>(ms < 0 ? 0 : ms), fd_, POLLIN);
    return static_cast<int16_t>(filled);
}

void XModemPtyLink::ClearRBuff() {
    CheckLocked();
    rx_.clear();
}

bool XModemPtyLink::IsConnected() {
    CheckLocked();
    return connected_;
}

int32_t XModemPtyLink::GetAbortRequest() {
    CheckLocked();
    return abortRequest_;
}

void XModemPtyLink::SetAbortRequest(int32_t value) {
    CheckLocked();
    abortRequest_ = value;
}

void XModemPtyLink::AddRef() {
    ++refs_;
}

void XModemPtyLink::Release() {
    if (--refs_ == 0) delete this;
}

void XModemPtyLink::SetConnected(bool connected) {
    connected_ = connected;
}

uint32_t XModemPtyLink::SpaceUsedInRXBuffer() {
    CheckLocked();
    PollReceive();
    return static_cast<uint32_t>(rx_.size());
}

}  // namespace tolvan::test
