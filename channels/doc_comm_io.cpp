// Reading and writing of the channel document: every read first fetches what the port
// received, every write hands this channel's pending bytes to the port.
#include "channels/doc_comm.h"

#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/shared_port.h"
#include "ports/status_text.h"

#include <algorithm>
#include <limits>

namespace tolvan {

namespace {

// The part of the caller's buffer a count may touch: min(n, size), nothing for n <= 0.
std::span<std::uint8_t> Usable(std::span<std::uint8_t> buffer, std::int32_t n) {
    if (n <= 0) return {};
    return buffer.first(std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(n)));
}

std::uint32_t WaitLimit(std::int32_t ms) {
    return ms > 0 ? static_cast<std::uint32_t>(ms) : 0u;
}

}  // namespace

// While a stream takes the channel's received bytes, polled reads get none of them.

std::int16_t CDocComm::ReadFromPort(std::span<std::uint8_t> buffer, std::int16_t n) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr || stream_) return 0;
    port_->PollReceive();
    const std::uint32_t got = rxBuffer_->Read(Usable(buffer, n));
    if (got > 0) UpdateAllViews(kHintReceive);
    return static_cast<std::int16_t>(got);
}

std::int16_t CDocComm::ReadStringFromPort(std::span<std::uint8_t> buffer, std::int16_t n,
                                          std::int16_t terminator) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr || stream_) return 0;
    port_->PollReceive();
    const std::span<std::uint8_t> dest = Usable(buffer, n);
    if (dest.empty()) return 0;
    const std::int32_t got = rxBuffer_->ReadUntil(dest, terminator);
    if (got != 0) UpdateAllViews(kHintReceive);
    return static_cast<std::int16_t>(got);
}

std::int16_t CDocComm::WriteToPort(std::span<std::uint8_t> buffer, std::int16_t n) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr || LockedByOther()) return 0;
    // A device that went away takes nothing: storing would report bytes that never leave.
    if (!port_->DeviceAccepts()) return 0;
    const std::uint32_t stored = txBuffer_->Write(Usable(buffer, n));
    port_->PushTransmit(txBuffer_->Count());
    if (stored > 0) UpdateAllViews(kHintTransmit);
    return static_cast<std::int16_t>(stored);
}

std::int32_t CDocComm::TransmitBytes(std::span<const std::uint8_t> bytes) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr || !port_->DeviceAccepts()) return 0;
    const std::uint32_t stored = txBuffer_->Write(bytes);
    port_->PushTransmit(txBuffer_->Count());
    if (stored > 0) UpdateAllViews(kHintTransmit);
    return static_cast<std::int32_t>(stored);
}

std::int16_t CDocComm::ReadFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t n,
                                         std::int32_t ms) {
    plat::ServerLockGuard guard;
    TimedRead read = StartTimedRead(TimedRead::Kind::kBytes, buffer, n);
    WaitForRead(read, ms);
    return EndTimedRead(read);
}

std::int16_t CDocComm::ReadFromPortTimed(std::span<std::uint8_t> dest, std::int32_t ms) {
    const std::size_t n =
        std::min<std::size_t>(dest.size(), std::numeric_limits<std::int16_t>::max());
    return ReadFromPortTimed(dest, static_cast<std::int16_t>(n), ms);
}

std::int16_t CDocComm::ReadStringFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t n,
                                               std::int16_t terminator, std::int32_t ms) {
    plat::ServerLockGuard guard;
    TimedRead read = StartTimedRead(TimedRead::Kind::kString, buffer, n, terminator);
    WaitForRead(read, ms);
    return EndTimedRead(read);
}

std::int16_t CDocComm::ReadCharFromPort() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    if (stream_) return GetPortError();
    port_->PollReceive();
    std::uint8_t byte = 0;
    if (rxBuffer_->Read(std::span<std::uint8_t>(&byte, 1)) == 1) {
        UpdateAllViews(kHintReceive);
        return byte;
    }
    return GetPortError();
}

std::int16_t CDocComm::ReadCharFromPortTimed(std::int32_t ms) {
    plat::ServerLockGuard guard;
    TimedRead read = StartTimedRead(TimedRead::Kind::kChar);
    WaitForRead(read, ms);
    return EndTimedRead(read);
}

TimedRead CDocComm::StartTimedRead(TimedRead::Kind kind, std::span<std::uint8_t> buffer,
                                   std::int16_t n, std::int16_t terminator) {
    plat::ServerLockGuard guard;
    TimedRead read;
    read.kind = kind;
    read.terminator = terminator;
    const bool isChar = kind == TimedRead::Kind::kChar;
    if (!isChar) read.dest = Usable(buffer, n);
    if (port_ == nullptr || stream_) {
        // While a stream takes the bytes, a character read times out at once.
        read.answer = !isChar ? 0 : port_ == nullptr ? kStatusNotSetUp : kStatusTimeOut;
        read.done = true;
    } else if (kind == TimedRead::Kind::kString && read.dest.empty()) {
        read.done = true;
    }
    return read;
}

bool CDocComm::TryTimedRead(TimedRead& read) {
    plat::ServerLockGuard guard;
    if (read.done) return true;
    // The channel may have been closed by another thread while the lock was let go: the
    // read ends with what it has (a character read with "not set up").
    if (port_ == nullptr) {
        if (read.kind == TimedRead::Kind::kChar) read.answer = kStatusNotSetUp;
        read.done = true;
        return true;
    }
    port_->PollReceive();
    switch (read.kind) {
        case TimedRead::Kind::kBytes: {
            const std::uint32_t got = rxBuffer_->Read(read.dest);
            read.dest = read.dest.subspan(got);
            read.total += static_cast<std::int32_t>(got);
            read.done = read.dest.empty();
            break;
        }
        case TimedRead::Kind::kString: {
            std::int32_t got = 0;
            for (;;) {
                // An empty string before the terminator gives 0 as well: the string after it
                // may be held already, and the wait would not look again before new bytes.
                const std::uint32_t held = rxBuffer_->Count();
                got = rxBuffer_->ReadUntil(read.dest, read.terminator);
                if (got != 0 || read.terminator == CChannelBuffer::kNoTerminator ||
                    rxBuffer_->Count() == held)
                    break;
            }
            read.total += got;
            if (read.terminator != CChannelBuffer::kNoTerminator) {
                read.done = got != 0;
            } else if (static_cast<std::size_t>(got) + 1 >= read.dest.size()) {
                read.done = true;
            } else {
                // Without a terminator the pieces are joined: the next one follows this one.
                read.dest = read.dest.subspan(static_cast<std::size_t>(got));
            }
            break;
        }
        case TimedRead::Kind::kChar: {
            std::uint8_t byte = 0;
            if (rxBuffer_->Read(std::span<std::uint8_t>(&byte, 1)) == 1) {
                read.answer = byte;
                read.done = true;
            }
            break;
        }
    }
    return read.done;
}

std::int16_t CDocComm::EndTimedRead(TimedRead& read) {
    plat::ServerLockGuard guard;
    if (read.kind == TimedRead::Kind::kChar) {
        if (read.answer) {
            if (*read.answer >= 0) UpdateAllViews(kHintReceive);
            return *read.answer;
        }
        const std::int16_t error = GetPortError();
        return error != 0 ? error : static_cast<std::int16_t>(kStatusTimeOut);
    }
    if (read.answer) return *read.answer;
    if (read.total != 0) UpdateAllViews(kHintReceive);
    return static_cast<std::int16_t>(read.total);
}

plat::WaitTarget CDocComm::ReceiveWaitTarget() {
    plat::ServerLockGuard guard;
    return port_ != nullptr ? port_->ReceiveWaitTarget() : plat::WaitTarget{};
}

void CDocComm::WaitForRead(TimedRead& read, std::int32_t ms) {
    if (read.done) return;
    plat::WaitFor([&] { return TryTimedRead(read); }, WaitLimit(ms),
                  [&] { return ReceiveWaitTarget(); });
}

std::int16_t CDocComm::WriteCharToPort(std::int16_t ch) {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return kStatusNotSetUp;
    if (LockedByOther() || !port_->DeviceAccepts()) return 0;
    const std::uint8_t byte = static_cast<std::uint8_t>(ch & 0xFF);
    const std::uint32_t stored = txBuffer_->Write(std::span<const std::uint8_t>(&byte, 1));
    port_->PushTransmit(txBuffer_->Count());
    if (stored > 0) UpdateAllViews(kHintTransmit);
    return static_cast<std::int16_t>(stored);
}

std::int32_t CDocComm::SpaceFreeInRXBuffer() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return 0;
    port_->PollReceive();
    if (!rxBuffer_) return 0;
    return static_cast<std::int32_t>(rxBuffer_->Size() - rxBuffer_->Count());
}

std::int32_t CDocComm::SpaceUsedInRXBuffer() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return 0;
    port_->PollReceive();
    if (!rxBuffer_) return 0;
    return static_cast<std::int32_t>(rxBuffer_->Count());
}

std::int32_t CDocComm::SpaceFreeInTXBuffer() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return 0;
    port_->PushTransmit(txBuffer_->Count());
    if (!txBuffer_) return 0;
    return static_cast<std::int32_t>(txBuffer_->Size() - txBuffer_->Count());
}

std::int32_t CDocComm::SpaceUsedInTXBuffer() {
    plat::ServerLockGuard guard;
    if (port_ == nullptr) return 0;
    port_->PushTransmit(txBuffer_->Count());
    if (!txBuffer_) return 0;
    return static_cast<std::int32_t>(txBuffer_->Count());
}

bool CDocComm::IsOverflow() {
    plat::ServerLockGuard guard;
    return rxBuffer_ != nullptr && (rxBuffer_->Flags() & CChannelBuffer::Overflow) != 0;
}

}  // namespace tolvan
