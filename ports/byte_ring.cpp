#include "ports/byte_ring.h"

#include <new>

#include "platform/movable_memory.h"

namespace tolvan {

int RingCreate(ByteRing& ring, uint32_t size) {
    RingDestroy(ring);
    if (size < 2 || !plat::AllocationAllowed()) return kLinkNoMemory;
    ring.data.reset(new (std::nothrow) uint8_t[size]());
    if (!ring.data) return kLinkNoMemory;
    ring.size = size;
    return kLinkOk;
}

void RingDestroy(ByteRing& ring) {
    ring.data.reset();
    ring.readIndex = 0;
    ring.writeIndex = 0;
    ring.size = 0;
}

int RingPut(ByteRing& ring, uint8_t byte) {
    if (ring.size == 0) return kLinkRingFull;
    const uint32_t next = (ring.writeIndex + 1) % ring.size;
    if (next == ring.readIndex) return kLinkRingFull;
    ring.data[ring.writeIndex] = byte;
    ring.writeIndex = next;
    return kLinkOk;
}

int RingGet(ByteRing& ring, uint8_t& out) {
    if (ring.size == 0 || ring.readIndex == ring.writeIndex) return kLinkRingEmpty;
    out = ring.data[ring.readIndex];
    ring.readIndex = (ring.readIndex + 1) % ring.size;
    return kLinkOk;
}

int RingPeek(const ByteRing& ring, uint8_t& out) {
    if (ring.size == 0 || ring.readIndex == ring.writeIndex) return kLinkRingEmpty;
    out = ring.data[ring.readIndex];
    return kLinkOk;
}

uint32_t RingUsed(const ByteRing& ring) {
    if (ring.size == 0) return 0;
    return (ring.writeIndex + ring.size - ring.readIndex) % ring.size;
}

uint32_t RingFree(const ByteRing& ring) {
    if (ring.size == 0) return 0;
    return ring.size - 1 - RingUsed(ring);
}

void RingDiscard(ByteRing& ring) {
    ring.readIndex = ring.writeIndex;
}

}  // namespace tolvan
