// A channel's view of one ring of its shared port: own read and write positions, count
// and status word over ring memory that the shared port owns and may move. Every access
// to the bytes locks the memory for just that copy.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "platform/movable_memory.h"
#include "ports/port_client.h"

namespace tolvan {

class CChannelBuffer final : public RingView {
public:
    // Status word bits.
    static constexpr uint32_t BufferLockFailed = 1;  // the ring memory could not be locked
    static constexpr uint32_t ShortRead = 2;         // a read delivered fewer bytes than asked
    static constexpr uint32_t Overflow = 4;          // received bytes did not fit
    static constexpr uint32_t ShortWrite = 8;        // a write stored fewer bytes than offered

    // Terminators of ReadUntil besides a byte value 0..255.
    static constexpr int16_t kNoTerminator = -1;
    static constexpr int16_t kCrLf = -2;

    CChannelBuffer() = default;
    CChannelBuffer(uint32_t size, plat::HGLOBAL memory, uint32_t start) {
        Init(size, memory, start);
    }

    void Init(uint32_t size, plat::HGLOBAL memory, uint32_t start) override;
    // Drops what the view holds: read position to the write position, count and status 0.
    void Clear();

    // Copies up to destination.size() held bytes out; sets ShortRead when fewer came.
    uint32_t Read(std::span<uint8_t> destination);
    // Delivers the held bytes before a terminator into destination (n = its size), zero
    // filled, at most n - 1 of them, and drops the terminator. Terminator -2 is CR LF, -1
    // none (reads up to n - 1 bytes), 0..255 a byte; above 255 does nothing. Returns the
    // length delivered; 0 also when no terminator is held (nothing is removed then).
    int32_t ReadUntil(std::span<uint8_t> destination, int16_t terminator);
    // Stores as many bytes of source as fit; sets ShortWrite when not all did.
    uint32_t Write(std::span<const uint8_t> source);

    int Received(uint32_t n) override;
    void Sent(uint32_t n) override;
    void Follow(uint32_t start, uint32_t pending) override;

    // Drops the first n held bytes (at most Count()), as a read would, without copying:
    // a stream has written them on from the ring itself.
    void Discard(uint32_t n);
    // Received bytes this view had no room for since it was made (kept across Init).
    uint64_t Lost() const { return lost_; }

    // Locks the memory for fn, which sees all size bytes of the ring. False (fn not called,
    // BufferLockFailed not touched) when the memory cannot be locked.
    bool Visit(const std::function<void(std::span<const uint8_t>)>& fn) const;

    uint32_t Size() const { return size_; }
    uint32_t WriteIndex() const { return writeIndex_; }
    uint32_t ReadIndex() const override { return readIndex_; }
    uint32_t Count() const override { return count_; }
    uint32_t Flags() const { return flags_; }
    plat::HGLOBAL Memory() const { return memory_; }

private:
    uint32_t Wrap(uint64_t index) const;
    // Copies between the ring and outside memory in at most two pieces from `at`.
    void CopyOut(const uint8_t* ring, uint32_t at, std::span<uint8_t> to) const;
    void CopyIn(uint8_t* ring, uint32_t at, std::span<const uint8_t> from) const;
    // Where the held terminator ends the string, or -1: j bytes before it.
    int64_t FindTerminator(const uint8_t* ring, uint32_t limit, int16_t terminator) const;

    uint32_t size_ = 0;
    uint32_t writeIndex_ = 0;
    uint32_t readIndex_ = 0;
    uint32_t count_ = 0;
    uint32_t flags_ = 0;
    uint64_t lost_ = 0;
    plat::HGLOBAL memory_ = 0;
};

}  // namespace tolvan
