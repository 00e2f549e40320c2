#include "ports/ir_link.h"

#include <new>
#include <string>
#include <thread>

#include "platform/message_box.h"
#include "platform/movable_memory.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "ports/ir_device_io.h"
#include "ports/ir_frame.h"
#include "ports/ir_transceiver.h"

namespace tolvan {

namespace {

// Puts the link together on an allocated record; link code.
int SetUpLink(IrLinkRecord& link, int32_t portIndex, int32_t baud) {
    if (RingCreate(link.wireTx) != kLinkOk || RingCreate(link.wireRx) != kLinkOk ||
        RingCreate(link.userTx) != kLinkOk || RingCreate(link.userRx) != kLinkOk)
        return kLinkNoMemory;

    link.handle = plat::OpenComm("COM" + std::to_string(portIndex + 1), false);
    if (link.handle == plat::kInvalidCommHandle) return kLinkDeviceOpen;

    if (!plat::SetupComm(link.handle, kByteRingSize, kByteRingSize)) return kLinkDeviceSetup;

    plat::Dcb& dcb = link.dcb;
    dcb = plat::Dcb{};
    dcb.DCBlength = sizeof(plat::Dcb);
    dcb.BaudRate = static_cast<uint32_t>(baud);
    dcb.fBinary = true;
    dcb.fParity = true;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = plat::DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = false;
    dcb.fTXContinueOnXoff = false;
    dcb.fOutX = false;
    dcb.fInX = false;
    dcb.fErrorChar = false;
    dcb.fNull = false;
    dcb.fRtsControl = plat::RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = false;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.ByteSize = 8;
    dcb.Parity = plat::NOPARITY;
    dcb.StopBits = plat::ONESTOPBIT;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.ErrorChar = dcb.EofChar = dcb.EvtChar = 0;
    if (!plat::SetCommState(link.handle, dcb)) return kLinkDeviceSetup;

    if (!plat::PurgeComm(link.handle, plat::PURGE_TXABORT | plat::PURGE_RXABORT |
                                          plat::PURGE_TXCLEAR | plat::PURGE_RXCLEAR))
        return kLinkDeviceSetup;

    plat::CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = kIrReadWaitMs;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 20;
    timeouts.WriteTotalTimeoutConstant = 50;
    if (!plat::SetCommTimeouts(link.handle, timeouts)) return kLinkDeviceSetup;

    if (!plat::EscapeCommFunction(link.handle, plat::SETDTR) ||
        !plat::EscapeCommFunction(link.handle, plat::SETRTS))
        return kLinkDeviceSetup;

    if (!InitTransceiver(link, baud)) return kLinkDeviceSetup;

    link.framesPerStep = baud > 9600 ? 3 : 2;
    link.finalQueued = false;
    link.state = kIrSending;
    link.deadline = plat::GetTickCount() + kIrSendTurnMs;
    return kLinkOk;
}

// The device is gone for good (unplugged adapter, hung-up pty): stop the link instead
// of failing on it again at every idle call. A failed write has already shown its
// message; a failed read shows the same one, once.
void StopIfDeviceGone(IrLinkRecord& link, bool tell) {
    const uint32_t error = plat::GetLastError();
    if (error != plat::ERROR_DEVICE_NOT_CONNECTED) return;
    link.state = kIrClosed;
    if (tell) plat::ShowMessageBox("ReopenComm: " + std::to_string(error));
}

}  // namespace

IrLinkRecord::~IrLinkRecord() {
    CloseLink(*this);
}

int OpenLink(int32_t portIndex, int32_t baud, std::unique_ptr<IrLinkRecord>& out) {
    out.reset();
    if (!plat::AllocationAllowed()) return kLinkNoMemory;
    std::unique_ptr<IrLinkRecord> link(new (std::nothrow) IrLinkRecord);
    if (!link) return kLinkNoMemory;
    const int code = SetUpLink(*link, portIndex, baud);
    if (code != kLinkOk) return code;  // the record's destructor closes what was opened
    out = std::move(link);
    return kLinkOk;
}

void CloseLink(IrLinkRecord& link) {
    link.state = kIrClosed;
    if (link.handle != plat::kInvalidCommHandle) {
        plat::CloseComm(link.handle);
        link.handle = plat::kInvalidCommHandle;
    }
    RingDestroy(link.wireTx);
    RingDestroy(link.wireRx);
    RingDestroy(link.userTx);
    RingDestroy(link.userRx);
    link.framesPending = 0;
    link.finalQueued = false;
    link.writeFailShown = false;
}

bool IrDeadlinePassed(uint32_t deadline) {
    return static_cast<int32_t>(plat::GetTickCount() - deadline) >= 0;
}

int ReceiveStep(IrLinkRecord& link) {
    for (int i = 0; i < link.framesPerStep; ++i) {
        const int result = DecodeFrame(link.wireRx, link.userRx, link.framesPending);
        if (IrDeadlinePassed(link.deadline)) return kStepTurnPasses;
        if (result != kStepGoOn) return result;
    }
    return kStepGoOn;
}

int SendStep(IrLinkRecord& link) {
    for (int i = 1; i <= link.framesPerStep; ++i) {
        const bool force = i == link.framesPerStep && IrDeadlinePassed(link.deadline);
        const int result = BuildFrame(link.userTx, link.wireTx, force);
        if (result != kStepGoOn) return result;
    }
    return kStepGoOn;
}

namespace {

// Our final frame is queued: the turn passes once the wire ring and the device are empty.
void PassTurnWhenSent(IrLinkRecord& link) {
    if (RingUsed(link.wireTx) != 0) return;
    WaitTxDrained(link, kIrDrainLimitMs);
    if (IrLinkDropped(link)) return;
    link.finalQueued = false;
    link.state = kIrReceiving;
    link.deadline = plat::GetTickCount() + kIrReceiveTurnMs;
}

}  // namespace

int LinkStep(IrLinkRecord* link) {
    if (!link) return 0;
    switch (link->state) {
        case kIrClosed:
            return 0;
        case kIrReceiving: {
            const int result = ReceiveStep(*link);
            if (result == kStepTurnPasses) {
                link->deadline = plat::GetTickCount() + kIrSendTurnMs;
                link->state = kIrSending;
                std::this_thread::yield();
            }
            return result;
        }
        case kIrSending: {
            if (link->finalQueued) {
                PassTurnWhenSent(*link);
                return kStepFinalQueued;
            }
            const int result = SendStep(*link);
            if (result == kStepFinalQueued) {
                link->finalQueued = true;
                LinkPump(link);
                if (link->state == kIrSending) PassTurnWhenSent(*link);
            }
            return result;
        }
        default:
            plat::ShowMessageBox("Invalid state");
            return -1;
    }
}

int LinkPump(IrLinkRecord* link) {
    if (!link) return 0;
    int moved = 0;
    for (int round = 0; round < kIrPumpRounds; ++round) {
        uint8_t b = 0;
        if (link->state == kIrReceiving) {
            const int got = ReadDeviceByte(*link, kIrReadWaitMs, b);
            if (IrLinkDropped(*link)) break;
            if (got < 0) StopIfDeviceGone(*link, true);
            if (got != 1) break;
            // A byte that finds the ring full is dropped; only kept EOFs are counted.
            if (RingPut(link->wireRx, b) == kLinkOk && b == kIrEof) ++link->framesPending;
        } else if (link->state == kIrSending) {
            if (RingPeek(link->wireTx, b) != kLinkOk) break;
            if (!WriteRetrying(*link, std::span<const uint8_t>(&b, 1))) {
                if (!IrLinkDropped(*link)) StopIfDeviceGone(*link, false);
                break;
            }
            RingGet(link->wireTx, b);
        } else {
            break;
        }
        ++moved;
    }
    return moved;
}

}  // namespace tolvan
