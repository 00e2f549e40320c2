// Frames of the infra-red link: BOF 0xC0, control byte, byte-stuffed data, EOF 0xC1.
// The control byte 0xF0 keeps the turn with the sender, 0xF1 marks the final frame of a
// turn; a receiver accepts any control byte with high nibble 0xF and reads bit 0.
#pragma once

#include <cstdint>

#include "ports/byte_ring.h"

namespace tolvan {

constexpr uint8_t kIrBof = 0xC0;
constexpr uint8_t kIrEof = 0xC1;
constexpr uint8_t kIrEscape = 0x7D;  // next byte is the data byte XOR kIrStuffMask
constexpr uint8_t kIrStuffMask = 0x20;
constexpr uint8_t kIrControlMore = 0xF0;
constexpr uint8_t kIrControlFinal = 0xF1;
constexpr uint32_t kIrMaxFrameData = 150;  // data bytes per frame before stuffing
// Worst case on the wire: BOF, control, every data byte stuffed, EOF.
constexpr uint32_t kIrMaxFrameWire = 3 + 2 * kIrMaxFrameData;

// Results of the frame and step functions.
enum IrStepResult : int {
    kStepGoOn = 0,
    kStepNoFrame = 1,     // no received frame left to decode
    kStepTurnPasses = 2,  // the other side's final frame arrived (or its time ran out)
    kStepBadFrame = 3,
    kStepFinalQueued = 4,  // our final frame of this turn is in the wire ring
};

// True for bytes that must be escaped inside a frame.
constexpr bool IrNeedsStuffing(uint8_t b) {
    return b == kIrBof || b == kIrEof || b == kIrEscape;
}

// Moves up to 150 bytes from `userTx` into one frame in `wireTx`. The frame is final when
// `forceFinal` is set or fewer than 150 bytes wait (so an empty `userTx` gives an empty
// final frame). Returns kStepFinalQueued or kStepGoOn, or kLinkRingFull - taking nothing
// from `userTx` - when `wireTx` lacks room for a whole worst-case frame: a frame is
// never left half written.
int BuildFrame(ByteRing& userTx, ByteRing& wireTx, bool forceFinal);

// Decodes the next frame of `wireRx` into `userRx`. `framesPending` counts the EOF bytes
// in `wireRx`; every frame ended (good or bad) lowers it by one. Result: kStepNoFrame when
// nothing is pending (or the frame ended was the last one), kStepTurnPasses when the frame
// carried the final flag (whatever else went wrong in it), kStepBadFrame for a dropped or
// cut frame (bad control byte, misplaced BOF, stray EOF, escape before BOF/EOF, full
// `userRx`), kStepGoOn when more frames are pending, kLinkRingEmpty when `wireRx` ran dry
// in mid-frame (the count is then reset, since it no longer matches the ring).
int DecodeFrame(ByteRing& wireRx, ByteRing& userRx, int32_t& framesPending);

}  // namespace tolvan
