// XMODEM block receiver: one call handles one block (or the end of file) of a
// reception in the checksum variant, 128-byte (SOH) and 1024-byte (STX) blocks.
// The transfer thread sets the state up, sends the first NAK and calls ReceiveBlock
// until the sender ends the file or the exchange fails.
#pragma once

#include <cstdint>

#include "ports/xmodem_file.h"
#include "ports/xmodem_link.h"

namespace tolvan {

// Protocol bytes.
constexpr uint8_t kXmSOH = 0x01;  // 128-byte block follows
constexpr uint8_t kXmSTX = 0x02;  // 1024-byte block follows
constexpr uint8_t kXmEOT = 0x04;  // end of file
constexpr uint8_t kXmACK = 0x06;
constexpr uint8_t kXmNAK = 0x15;
constexpr uint8_t kXmCAN = 0x18;

constexpr int32_t kXmHeaderWaitMs = 9000;  // per header wait
constexpr int32_t kXmBlockWaitMs = 1000;   // for the whole block after its header
constexpr uint32_t kXmMaxErrors = 10;      // consecutive errors that end a reception

// The receive state, one per process: only one reception runs at a time.
struct XModemReceiveState {
    uint32_t errorCount = 0;    // errors since the last good block
    int16_t lastError = 0;      // status code of the last error
    uint8_t lastHeader = 0;     // last header byte received
    uint8_t expectedBlock = 1;  // number of the next new block; wraps 255 -> 0
    uint32_t totalBytes = 0;    // data bytes acknowledged, repetitions included
    uint8_t block[1027] = {};   // number, complement, up to 1024 data bytes, checksum
    XModemFile file;            // the target file; the transfer thread opens and closes it
};

// The process-wide receive state.
XModemReceiveState& XModemState();

// Handles one block or the end of file on `channel`, with the process-wide state.
// 0: a block was taken (new or repeated) or EOT was acknowledged (lastHeader is EOT).
// -610: the tenth error in a row. -611: block out of sequence (no answer sent).
// -607: the block could not be written (CAN CAN sent).
// -614 or the negative read result: bad block, answered with NAK.
// The negative result of WriteCharToPort when a NAK could not be sent.
int16_t ReceiveBlock(XModemLink& channel);

// The same on an explicit state (tests, fuzzing).
int16_t ReceiveBlock(XModemLink& channel, XModemReceiveState& state);

}  // namespace tolvan
