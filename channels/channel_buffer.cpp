#include "channels/channel_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tolvan {

namespace {

// Locks the ring for one copy. A block smaller than the view says would let a copy run
// past its end, so that counts as a failed lock too.
class RingLock {
public:
    RingLock(plat::HGLOBAL memory, uint32_t size) : memory_(memory) {
        if (memory_ == 0 || size == 0) return;
        void* p = plat::GlobalLock(memory_);
        if (p == nullptr) return;
        if (plat::GlobalSize(memory_) < size) {
            plat::GlobalUnlock(memory_);
            return;
        }
        bytes_ = static_cast<uint8_t*>(p);
    }
    ~RingLock() {
        if (bytes_ != nullptr) plat::GlobalUnlock(memory_);
    }
    RingLock(const RingLock&) = delete;
    RingLock& operator=(const RingLock&) = delete;

    uint8_t* bytes() const { return bytes_; }

private:
    plat::HGLOBAL memory_;
    uint8_t* bytes_ = nullptr;
};

uint32_t Clamp32(size_t n) {
    return static_cast<uint32_t>(std::min<size_t>(n, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

uint32_t CChannelBuffer::Wrap(uint64_t index) const {
    return size_ == 0 ? 0 : static_cast<uint32_t>(index % size_);
}

void CChannelBuffer::Init(uint32_t size, plat::HGLOBAL memory, uint32_t start) {
    size_ = size;
    memory_ = memory;
    // The port's position may sit at the very end of its ring (= size); a view keeps its
    // positions below size.
    writeIndex_ = readIndex_ = Wrap(start);
    count_ = 0;
    flags_ = 0;
}

void CChannelBuffer::Clear() {
    readIndex_ = writeIndex_;
    count_ = 0;
    flags_ = 0;
}

void CChannelBuffer::CopyOut(const uint8_t* ring, uint32_t at, std::span<uint8_t> to) const {
    if (to.empty()) return;  // an empty destination may have no address at all
    const size_t first = std::min<size_t>(to.size(), size_ - at);
    std::memcpy(to.data(), ring + at, first);
    std::memcpy(to.data() + first, ring, to.size() - first);
}

void CChannelBuffer::CopyIn(uint8_t* ring, uint32_t at, std::span<const uint8_t> from) const {
    if (from.empty()) return;
    const size_t first = std::min<size_t>(from.size(), size_ - at);
    std::memcpy(ring + at, from.data(), first);
    std::memcpy(ring, from.data() + first, from.size() - first);
}

uint32_t CChannelBuffer::Read(std::span<uint8_t> destination) {
    flags_ &= ~BufferLockFailed;
    const uint32_t n = Clamp32(destination.size());
    uint32_t k = 0;
    {
        RingLock lock(memory_, size_);
        if (lock.bytes() == nullptr) {
            flags_ |= BufferLockFailed;
            return 0;
        }
        k = std::min(count_, n);
        CopyOut(lock.bytes(), readIndex_, destination.first(k));
    }
    readIndex_ = Wrap(uint64_t{readIndex_} + k);
    count_ -= k;
    if (k < n) flags_ |= ShortRead;
    return k;
}

uint32_t CChannelBuffer::Write(std::span<const uint8_t> source) {
    flags_ &= ~BufferLockFailed;
    const uint32_t n = Clamp32(source.size());
    uint32_t k = 0;
    {
        RingLock lock(memory_, size_);
        if (lock.bytes() == nullptr) {
            flags_ |= BufferLockFailed;
            return 0;
        }
        k = std::min(size_ - count_, n);
        CopyIn(lock.bytes(), writeIndex_, source.first(k));
    }
    writeIndex_ = Wrap(uint64_t{writeIndex_} + k);
    count_ += k;
    if (k < n) flags_ |= ShortWrite;
    return k;
}

int64_t CChannelBuffer::FindTerminator(const uint8_t* ring, uint32_t limit,
                                       int16_t terminator) const {
    // Only held bytes count: what lies beyond the write position is stale ring content,
    // and a CR ends a line only once its LF has arrived too.
    const uint32_t scan = std::min(count_, limit);
    const auto at = [&](uint32_t j) { return ring[Wrap(uint64_t{readIndex_} + j)]; };
    for (uint32_t j = 0; j < scan; ++j) {
        const uint8_t byte = at(j);
        if (terminator == kCrLf) {
            if (byte == 13 && j + 1 < count_ && at(j + 1) == 10) return j;
        } else if (byte == static_cast<uint8_t>(terminator & 0xFF)) {
            return j;
        }
    }
    return -1;
}

int32_t CChannelBuffer::ReadUntil(std::span<uint8_t> destination, int16_t terminator) {
    flags_ &= ~BufferLockFailed;
    if (terminator > 255) return 0;
    const uint32_t n = Clamp32(destination.size());
    // Without room for the closing zero there is nothing to deliver.
    if (n == 0) return 0;
    std::fill_n(destination.data(), n, uint8_t{0});
    if (terminator == kNoTerminator) return static_cast<int32_t>(Read(destination.first(n - 1)));

    int64_t found = -1;
    {
        RingLock lock(memory_, size_);
        if (lock.bytes() == nullptr) {
            flags_ |= BufferLockFailed;
            return 0;
        }
        // At most n - 1 bytes are looked at, so the string keeps room for its zero; with
        // n = 1 the first byte is still looked at (it can only be a bare terminator).
        found = FindTerminator(lock.bytes(), std::max<uint32_t>(n - 1, 1), terminator);
    }
    if (found < 0) return 0;

    const auto j = static_cast<uint32_t>(found);
    Read(destination.first(j));
    const uint32_t dropped = terminator == kCrLf ? 2 : 1;
    readIndex_ = Wrap(uint64_t{readIndex_} + dropped);
    count_ -= dropped;
    return static_cast<int32_t>(j);
}

int CChannelBuffer::Received(uint32_t n) {
    if (n > 0) flags_ &= ~ShortRead;
    writeIndex_ = Wrap(uint64_t{writeIndex_} + n);
    const uint64_t held = uint64_t{count_} + n;
    if (held > size_) {
        // The view keeps the newest size bytes.
        flags_ |= Overflow;
        lost_ += held - size_;
        count_ = size_;
        readIndex_ = writeIndex_;
    } else {
        // Once overflowed the bit stays until re-initialisation, but what arrives after the
        // reader caught up is still counted, or the view would show nothing new ever again.
        count_ = static_cast<uint32_t>(held);
    }
    return (flags_ & Overflow) ? 4 : 0;
}

void CChannelBuffer::Discard(uint32_t n) {
    const uint32_t k = std::min(n, count_);
    readIndex_ = Wrap(uint64_t{readIndex_} + k);
    count_ -= k;
}

void CChannelBuffer::Sent(uint32_t n) {
    if (n > 0) flags_ &= ~ShortWrite;
    readIndex_ = Wrap(uint64_t{readIndex_} + n);
    if (count_ < n) {
        // Less was pending here than went out: fall back in step with the ring.
        count_ = 0;
        writeIndex_ = readIndex_;
    } else {
        count_ -= n;
    }
}

void CChannelBuffer::Follow(uint32_t start, uint32_t pending) {
    readIndex_ = Wrap(start);
    count_ = std::min(pending, size_);
    writeIndex_ = Wrap(uint64_t{readIndex_} + count_);
}

bool CChannelBuffer::Visit(const std::function<void(std::span<const uint8_t>)>& fn) const {
    RingLock lock(memory_, size_);
    if (lock.bytes() == nullptr) return false;
    fn(std::span<const uint8_t>(lock.bytes(), size_));
    return true;
}

}  // namespace tolvan
