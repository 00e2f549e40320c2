#include "ports/ir_frame.h"

namespace tolvan {

namespace {

// Puts a byte that is known to fit (room was checked beforehand).
void PutChecked(ByteRing& ring, uint8_t b) {
    (void)RingPut(ring, b);
}

}  // namespace

int BuildFrame(ByteRing& userTx, ByteRing& wireTx, bool forceFinal) {
    const uint32_t waiting = RingUsed(userTx);
    const bool final = forceFinal || waiting < kIrMaxFrameData;
    const uint32_t take = waiting < kIrMaxFrameData ? waiting : kIrMaxFrameData;
    if (RingFree(wireTx) < 3 + 2 * take) return kLinkRingFull;

    PutChecked(wireTx, kIrBof);
    PutChecked(wireTx, final ? kIrControlFinal : kIrControlMore);
    for (uint32_t i = 0; i < take; ++i) {
        uint8_t b = 0;
        if (RingGet(userTx, b) != kLinkOk) break;
        if (IrNeedsStuffing(b)) {
            PutChecked(wireTx, kIrEscape);
            PutChecked(wireTx, static_cast<uint8_t>(b ^ kIrStuffMask));
        } else {
            PutChecked(wireTx, b);
        }
    }
    PutChecked(wireTx, kIrEof);
    return final ? kStepFinalQueued : kStepGoOn;
}

int DecodeFrame(ByteRing& wireRx, ByteRing& userRx, int32_t& framesPending) {
    if (framesPending <= 0) return kStepNoFrame;

    enum class Where { Outside, AfterBof, Data, Escaped, Skipping };
    Where where = Where::Outside;
    bool final = false;
    bool bad = false;

    for (;;) {
        uint8_t b = 0;
        if (RingGet(wireRx, b) != kLinkOk) {
            framesPending = 0;
            return kLinkRingEmpty;
        }
        if (b == kIrEof) {
            // Ends the frame in every position; without a control byte it was no frame.
            if (where == Where::Outside || where == Where::AfterBof || where == Where::Escaped)
                bad = true;
            break;
        }
        switch (where) {
            case Where::Outside:
                if (b == kIrBof) where = Where::AfterBof;
                break;
            case Where::AfterBof:
                if (b == kIrBof) break;  // repeated BOF is allowed
                if ((b & 0xF0) != 0xF0) {
                    bad = true;
                    where = Where::Skipping;
                    break;
                }
                final = (b & 0x01) != 0;
                where = Where::Data;
                break;
            case Where::Data:
            case Where::Escaped:
                if (b == kIrBof) {
                    bad = true;
                    where = Where::Skipping;
                    break;
                }
                if (where == Where::Data && b == kIrEscape) {
                    where = Where::Escaped;
                    break;
                }
                if (where == Where::Escaped) b ^= kIrStuffMask;
                where = Where::Data;
                if (RingPut(userRx, b) != kLinkOk) {
                    // No room for the rest: drop it up to the EOF so the count stays true.
                    bad = true;
                    where = Where::Skipping;
                }
                break;
            case Where::Skipping:
                break;
        }
    }

    --framesPending;
    if (final) return kStepTurnPasses;
    if (bad) return kStepBadFrame;
    return framesPending == 0 ? kStepNoFrame : kStepGoOn;
}

}  // namespace tolvan
