// The infra-red link record and the work the idle time does on it: one state step
// (LinkStep) and one pump of bytes between the device and the wire rings (LinkPump).
// The link is half duplex and turn-taking: while sending (state 2) we frame user data
// and put it on the wire; our final frame passes the turn, and while receiving (state 1)
// we decode the other side's frames until its final frame passes the turn back.
#pragma once

#include <cstdint>

#include "platform/comm_types.h"
#include "ports/byte_ring.h"
#include "ports/port_object.h"

namespace tolvan {

enum IrLinkState : int32_t {
    kIrClosed = 0,
    kIrReceiving = 1,  // the other side's turn
    kIrSending = 2,    // our turn
};

inline constexpr uint32_t kIrSendTurnMs = 2000;     // our turn before a final frame is forced
inline constexpr uint32_t kIrReceiveTurnMs = 2400;  // the other side's turn before we take it
inline constexpr int kIrPumpRounds = 300;           // bytes moved by one LinkPump at most
inline constexpr uint32_t kIrReadWaitMs = 25;       // a pump read waits this long per byte
inline constexpr uint32_t kIrDrainLimitMs = 2000;   // longest wait for the device to drain

// The driver record of an infra-red port object, fields in order. The last two are ours:
// `finalQueued` keeps the turn until the final frame has really left (a pump moves at
// most 300 bytes, so one pump after queuing the final frame may not have sent it all);
// `writeFailShown` keeps a device that refuses writes from raising its message again at
// every byte and every idle call until a write succeeds.
struct IrLinkRecord : DriverRecord {
    int32_t state = kIrClosed;
    plat::CommHandle handle = plat::kInvalidCommHandle;
    uint32_t reserved[2] = {};
    plat::Dcb dcb{};
    ByteRing wireTx;            // framed bytes waiting to go out on the wire
    ByteRing wireRx;            // raw bytes from the wire, not yet decoded
    ByteRing userTx;            // data written by the user, not yet framed
    ByteRing userRx;            // decoded data waiting for the user
    int32_t framesPending = 0;  // EOF bytes in wireRx
    uint32_t deadline = 0;      // tick count at which the current turn times out
    int16_t framesPerStep = 2;  // 3 above 9600 baud
    bool finalQueued = false;
    bool writeFailShown = false;

    ~IrLinkRecord() override;  // closes the device if still open
};

// Opens a link for COM<portIndex + 1> at `baud`: rings, device, queues, line settings,
// purge, time-outs, DTR/RTS, transceiver initialisation; then state 2 with the send
// deadline running. Returns kLinkOk and the record in `out`, or a link code (10, 13, 14)
// with `out` empty; a half-opened link is closed again.
int OpenLink(int32_t portIndex, int32_t baud, std::unique_ptr<IrLinkRecord>& out);
// State 0, device closed, rings destroyed. The record itself is freed by its owner.
void CloseLink(IrLinkRecord& link);

// One state step. State 1: receive step; when the turn passes, state 2 with the send
// deadline. State 2: send step; once a final frame is queued and has left the device,
// state 1 with the receive deadline. State 0: nothing. Returns the step result, or -1
// after the "Invalid state" message for any other state. A null link does nothing.
int LinkStep(IrLinkRecord* link);
// Moves up to 300 bytes: state 1 reads the device into wireRx (counting EOF bytes),
// state 2 writes wireTx to the device (a byte that cannot be written stays queued for the
// next pump). Returns the bytes moved. A device that went away
// stops the link (state 0) after one "ReopenComm" message. A null link does nothing.
int LinkPump(IrLinkRecord* link);

// The step halves, for tests and for LinkStep.
int ReceiveStep(IrLinkRecord& link);
int SendStep(IrLinkRecord& link);

// True once the link was closed under its user: a wait inside a link step lets the server
// lock go, and the port's owner may close the link meanwhile. Checked after every wait.
inline bool IrLinkDropped(const IrLinkRecord& link) {
    return link.handle == plat::kInvalidCommHandle;
}

// True once `deadline` lies in the past (tick wrap-around safe).
bool IrDeadlinePassed(uint32_t deadline);

}  // namespace tolvan
