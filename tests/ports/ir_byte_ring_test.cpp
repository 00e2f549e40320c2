// The byte ring: capacity, wrap-around, empty/full codes and destruction.
#include <gtest/gtest.h>

#include "ports/byte_ring.h"

namespace {

using namespace tolvan;

TEST(ByteRing, HoldsOneLessThanItsSizeAndReportsFull) {
    ByteRing ring;
    ASSERT_EQ(RingCreate(ring), kLinkOk);
    EXPECT_EQ(ring.size, 8192u);
    EXPECT_EQ(RingFree(ring), 8191u);
    for (uint32_t i = 0; i < 8191; ++i)
        ASSERT_EQ(RingPut(ring, static_cast<uint8_t>(i)), kLinkOk) << i;
    EXPECT_EQ(RingUsed(ring), 8191u);
    EXPECT_EQ(RingFree(ring), 0u);
    EXPECT_EQ(RingPut(ring, 0xAA), kLinkRingFull);
    EXPECT_EQ(RingUsed(ring), 8191u);

    uint8_t b = 0;
    ASSERT_EQ(RingGet(ring, b), kLinkOk);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(RingPut(ring, 0xAA), kLinkOk);  // one slot freed, one taken
    EXPECT_EQ(RingPut(ring, 0xAB), kLinkRingFull);
}

TEST(ByteRing, KeepsOrderAcrossTheWrapAndCountsModuloSize) {
    ByteRing ring;
    ASSERT_EQ(RingCreate(ring, 8), kLinkOk);
    uint8_t next_in = 0, next_out = 0, b = 0;
    // Many passes over a tiny ring exercise every wrap position of both indices.
    for (int round = 0; round < 50; ++round) {
        const int burst = 1 + round % 7;
        for (int i = 0; i < burst; ++i) ASSERT_EQ(RingPut(ring, next_in++), kLinkOk);
        EXPECT_EQ(RingUsed(ring), static_cast<uint32_t>(burst));
        EXPECT_EQ(RingFree(ring), static_cast<uint32_t>(7 - burst));
        for (int i = 0; i < burst; ++i) {
            ASSERT_EQ(RingGet(ring, b), kLinkOk);
            ASSERT_EQ(b, next_out++);
        }
    }
    EXPECT_EQ(RingGet(ring, b), kLinkRingEmpty);
}

TEST(ByteRing, DiscardEmptiesAndPeekLeavesTheByte) {
    ByteRing ring;
    ASSERT_EQ(RingCreate(ring, 16), kLinkOk);
    for (uint8_t i = 0; i < 10; ++i) RingPut(ring, i);
    RingDiscard(ring);
    EXPECT_EQ(RingUsed(ring), 0u);
    uint8_t b = 0;
    EXPECT_EQ(RingGet(ring, b), kLinkRingEmpty);
    EXPECT_EQ(RingPeek(ring, b), kLinkRingEmpty);
    RingPut(ring, 0x55);
    RingPut(ring, 0x66);
    // Peeking shows the next byte and leaves it in place.
    ASSERT_EQ(RingPeek(ring, b), kLinkOk);
    EXPECT_EQ(b, 0x55);
    EXPECT_EQ(RingUsed(ring), 2u);
    ASSERT_EQ(RingGet(ring, b), kLinkOk);
    EXPECT_EQ(b, 0x55);
}

TEST(ByteRing, CreationZeroFillsAndDestructionLeavesAnInertRing) {
    ByteRing ring;
    ASSERT_EQ(RingCreate(ring, 64), kLinkOk);
    for (uint32_t i = 0; i < ring.size; ++i) ASSERT_EQ(ring.data[i], 0) << i;
    RingPut(ring, 1);
    RingDestroy(ring);
    EXPECT_EQ(ring.data, nullptr);
    EXPECT_EQ(ring.size, 0u);
    EXPECT_EQ(ring.readIndex, 0u);
    EXPECT_EQ(ring.writeIndex, 0u);
    // A ring without memory refuses everything instead of touching memory.
    uint8_t b = 0;
    EXPECT_EQ(RingPut(ring, 1), kLinkRingFull);
    EXPECT_EQ(RingGet(ring, b), kLinkRingEmpty);
    EXPECT_EQ(RingUsed(ring), 0u);
    EXPECT_EQ(RingFree(ring), 0u);
    EXPECT_EQ(RingCreate(ring, 1), kLinkNoMemory);
}

}  // namespace
