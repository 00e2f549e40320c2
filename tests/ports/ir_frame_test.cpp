// Frame building and decoding of the infra-red link, byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ports/ir_frame.h"

namespace {

using namespace tolvan;

using Bytes = std::vector<uint8_t>;

struct Rings {
    ByteRing userTx, wireTx, wireRx, userRx;
    int32_t framesPending = 0;
    Rings() {
        RingCreate(userTx);
        RingCreate(wireTx);
        RingCreate(wireRx);
        RingCreate(userRx);
    }
};

void Put(ByteRing& ring, const Bytes& bytes) {
    for (uint8_t b : bytes) ASSERT_EQ(RingPut(ring, b), kLinkOk);
}

Bytes Drain(ByteRing& ring) {
    Bytes out;
    uint8_t b = 0;
    while (RingGet(ring, b) == kLinkOk) out.push_back(b);
    return out;
}

// Receives bytes as the pump does: into wireRx, counting EOF bytes.
void Receive(Rings& r, const Bytes& wire) {
    for (uint8_t b : wire) {
        ASSERT_EQ(RingPut(r.wireRx, b), kLinkOk);
        if (b == kIrEof) ++r.framesPending;
    }
}

Bytes Data(size_t n, uint8_t first = 0) {
    Bytes d(n);
    for (size_t i = 0; i < n; ++i)
        d[i] = static_cast<uint8_t>(first + i % 0x40);  // clear of the special bytes
    return d;
}

TEST(IrFrameBuild, ExactlyOneFullFrameIsFollowedByAnEmptyFinalOne) {
    Rings r;
    Put(r.userTx, Data(150));
    EXPECT_EQ(BuildFrame(r.userTx, r.wireTx, false), kStepGoOn);
    EXPECT_EQ(RingUsed(r.wireTx), 153u);
    Drain(r.wireTx);
    EXPECT_EQ(BuildFrame(r.userTx, r.wireTx, false), kStepFinalQueued);
    EXPECT_EQ(Drain(r.wireTx), (Bytes{0xC0, 0xF1, 0xC1}));
}

TEST(IrFrameBuild, ForcedFinalCutsAFullFrameShort) {
    Rings r;
    Put(r.userTx, Data(300));
    EXPECT_EQ(BuildFrame(r.userTx, r.wireTx, true), kStepFinalQueued);
    const Bytes wire = Drain(r.wireTx);
    EXPECT_EQ(wire.size(), 153u);
    EXPECT_EQ(wire[1], 0xF1);
    EXPECT_EQ(RingUsed(r.userTx), 150u);  // the rest waits for the next turn
}

TEST(IrFrameBuild, FullWireRingTakesNothingAndLeavesNoHalfFrame) {
    Rings r;
    ByteRing small;
    ASSERT_EQ(RingCreate(small, 64), kLinkOk);
    Put(r.userTx, Bytes(100, 0x7D));  // stuffs to 200 bytes: cannot fit
    EXPECT_EQ(BuildFrame(r.userTx, small, false), kLinkRingFull);
    EXPECT_EQ(RingUsed(small), 0u);
    EXPECT_EQ(RingUsed(r.userTx), 100u);
    // An empty final frame still fits.
    RingDiscard(r.userTx);
    EXPECT_EQ(BuildFrame(r.userTx, small, false), kStepFinalQueued);
    EXPECT_EQ(RingUsed(small), 3u);
}

TEST(IrFrameDecode, BadControlByteDropsTheFrame) {
    Rings r;
    Receive(r, {0xC0, 0x22, 0x41, 0xC1, 0xC0, 0xF0, 0x43, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepBadFrame);
    EXPECT_EQ(RingUsed(r.userRx), 0u);
    EXPECT_EQ(r.framesPending, 1);
    // The next frame is intact; it is the last pending one and not final.
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepNoFrame);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x43}));
}

TEST(IrFrameDecode, AnyControlByteWithHighNibbleFIsAccepted) {
    Rings r;
    Receive(r, {0xC0, 0xFA, 0x01, 0xC1, 0xC0, 0xF7, 0x02, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepGoOn);
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepTurnPasses);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x01, 0x02}));
}

TEST(IrFrameDecode, StuffedBytesComeBackAndNoiseBeforeBofIsIgnored) {
    Rings r;
    Receive(r,
            {0x00, 0x7D, 0x55, 0xC0, 0xC0, 0xF0, 0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0x10, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepNoFrame);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x7D, 0xC0, 0xC1, 0x10}));
}

TEST(IrFrameDecode, MisplacedBofAndStrayEofAreBadFrames) {
    Rings r;
    // BOF in the data: everything up to the next EOF goes, including the new "frame".
    Receive(r, {0xC0, 0xF0, 0x01, 0xC0, 0xF1, 0x02, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepBadFrame);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x01}));  // what came before the fault stays
    EXPECT_EQ(RingUsed(r.wireRx), 0u);

    // EOF without a frame, and a frame without control byte.
    Receive(r, {0x33, 0xC1, 0xC0, 0xC1, 0xC0, 0xF0, 0x05, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepBadFrame);
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepBadFrame);
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepNoFrame);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x05}));
}

TEST(IrFrameDecode, FinalFlagWinsOverAFaultLaterInTheFrame) {
    Rings r;
    Receive(r, {0xC0, 0xF1, 0x01, 0xC0, 0x02, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepTurnPasses);
    EXPECT_EQ(RingUsed(r.wireRx), 0u);
}

TEST(IrFrameDecode, EscapeRightBeforeEofDoesNotSwallowTheFrameEnd) {
    Rings r;
    // Were the EOF taken as a stuffed byte, this frame would run on into the next one.
    Receive(r, {0xC0, 0xF0, 0x01, 0x7D, 0xC1, 0xC0, 0xF1, 0x09, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepBadFrame);
    EXPECT_EQ(r.framesPending, 1);
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepTurnPasses);
    EXPECT_EQ(Drain(r.userRx), (Bytes{0x01, 0x09}));
}

TEST(IrFrameDecode, FullUserRingCutsTheFrameAndKeepsTheCountTrue) {
    Rings r;
    ByteRing small;
    ASSERT_EQ(RingCreate(small, 4), kLinkOk);  // room for 3
    Receive(r, {0xC0, 0xF0, 1, 2, 3, 4, 5, 0xC1, 0xC0, 0xF1, 0xC1});
    EXPECT_EQ(DecodeFrame(r.wireRx, small, r.framesPending), kStepBadFrame);
    EXPECT_EQ(Drain(small), (Bytes{1, 2, 3}));
    EXPECT_EQ(r.framesPending, 1);
    EXPECT_EQ(DecodeFrame(r.wireRx, small, r.framesPending), kStepTurnPasses);
    EXPECT_EQ(RingUsed(r.wireRx), 0u);
}

TEST(IrFrameDecode, CountAheadOfTheRingIsResetOnEmpty) {
    Rings r;
    Put(r.wireRx, {0xC0, 0xF0, 0x01});
    r.framesPending = 1;  // as if the EOF had been dropped on a full ring
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kLinkRingEmpty);
    EXPECT_EQ(r.framesPending, 0);
    EXPECT_EQ(DecodeFrame(r.wireRx, r.userRx, r.framesPending), kStepNoFrame);
}

TEST(IrFrameRoundTrip, RandomDataSurvivesBuildAndDecode) {
    Rings r;
    std::mt19937 rng(7);
    // Biased towards the special bytes so that stuffing is exercised heavily.
    const uint8_t specials[] = {0xC0, 0xC1, 0x7D, 0x5D, 0xE0, 0xE1, 0xF1};
    Bytes sent, got;
    for (int chunk = 0; chunk < 40; ++chunk) {
        const size_t n = rng() % 700;
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = rng() % 3 == 0 ? specials[rng() % 7] : static_cast<uint8_t>(rng());
            sent.push_back(b);
            ASSERT_EQ(RingPut(r.userTx, b), kLinkOk);
        }
        int result = kStepGoOn;
        int frames = 0;
        while (result == kStepGoOn) {
            result = BuildFrame(r.userTx, r.wireTx, false);
            ++frames;
        }
        ASSERT_EQ(result, kStepFinalQueued);
        EXPECT_EQ(frames, static_cast<int>(n / 150 + 1));
        Receive(r, Drain(r.wireTx));
        int decoded = 0;
        while (r.framesPending > 0) {
            result = DecodeFrame(r.wireRx, r.userRx, r.framesPending);
            ++decoded;
        }
        EXPECT_EQ(result, kStepTurnPasses);
        EXPECT_EQ(decoded, frames);
        const Bytes part = Drain(r.userRx);
        got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, sent);
}

}  // namespace
