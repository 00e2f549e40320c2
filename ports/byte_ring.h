// Fixed-size byte ring used four times by the infra-red link (wire and user data in
// each direction). It keeps one slot empty to tell full from empty, so a ring of
// `size` bytes holds at most size - 1.
#pragma once

#include <cstdint>
#include <memory>

namespace tolvan {

// Link result codes shared by the ring and the infra-red link.
enum IrLinkCode : int {
    kLinkOk = 0,
    kLinkNoMemory = 10,  // ring or record memory could not be had
    kLinkRingFull = 11,
    kLinkRingEmpty = 12,
    kLinkDeviceOpen = 13,   // the device could not be opened
    kLinkDeviceSetup = 14,  // queues, line settings or transceiver set-up failed
};

constexpr uint32_t kByteRingSize = 8192;

struct ByteRing {
    std::unique_ptr<uint8_t[]> data;  // `size` bytes, zero-filled at creation
    uint32_t readIndex = 0;           // next byte to take
    uint32_t writeIndex = 0;          // next place to put
    uint32_t size = 0;                // 0 while the ring has no memory
};

// Allocates `size` zeroed bytes (size >= 2). kLinkNoMemory when the memory cannot be had
// (including a failure injected through the platform allocation gate).
int RingCreate(ByteRing& ring, uint32_t size = kByteRingSize);
// Frees the memory and zeroes the fields; harmless on a ring without memory.
void RingDestroy(ByteRing& ring);

// kLinkOk, or kLinkRingFull (also for a ring without memory).
int RingPut(ByteRing& ring, uint8_t byte);
// kLinkOk with the byte in `out`, or kLinkRingEmpty.
int RingGet(ByteRing& ring, uint8_t& out);
// kLinkOk with the next byte in `out` without taking it, or kLinkRingEmpty.
int RingPeek(const ByteRing& ring, uint8_t& out);
// Bytes waiting / places left (size - 1 - used). Both 0 for a ring without memory.
uint32_t RingUsed(const ByteRing& ring);
uint32_t RingFree(const ByteRing& ring);
// Drops everything waiting.
void RingDiscard(ByteRing& ring);

}  // namespace tolvan
