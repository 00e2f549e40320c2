#include "ports/ir_transceiver.h"

#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "ports/ir_device_io.h"
#include "ports/ir_link.h"

namespace tolvan {

namespace {

constexpr uint8_t kSpeed2400[] = {0x46, 0x8F, 0x95, 0x11};
constexpr uint8_t kSpeed9600[] = {0x11};
constexpr uint8_t kSpeed19200[] = {0x8B, 0x90, 0x11};
constexpr uint8_t kSpeed38400[] = {0x85, 0x90, 0x11};
constexpr uint8_t kSpeed57600[] = {0x83, 0x90, 0x11};
constexpr uint8_t kSpeed115200[] = {0x51, 0x81, 0x90, 0x11};

constexpr uint32_t kCommandDrainMs = 1000;

bool Escape(IrLinkRecord& link, uint32_t function) {
    return plat::EscapeCommFunction(link.handle, function);
}

bool SetBaud(IrLinkRecord& link, uint32_t baud) {
    link.dcb.BaudRate = baud;
    return plat::SetCommState(link.handle, link.dcb);
}

// One reset of the transceiver through DTR, RTS and break, then the probe. True when it
// answered F4 or F5 within the reply time.
bool ProbeOnce(IrLinkRecord& link) {
    if (!Escape(link, plat::SETDTR) || !Escape(link, plat::SETRTS) ||
        !plat::ClearCommBreak(link.handle))
        return false;
    plat::Sleep(300);
    if (!Escape(link, plat::CLRRTS) || !plat::SetCommBreak(link.handle)) return false;
    plat::Sleep(50);
    if (!plat::ClearCommBreak(link.handle) || !Escape(link, plat::SETRTS)) return false;
    plat::Sleep(50);
    if (!Escape(link, plat::CLRDTR)) return false;

    const uint8_t probe = kIrProbe;
    WriteRetrying(link, std::span<const uint8_t>(&probe, 1));
    const uint32_t start = plat::GetTickCount();
    for (;;) {
        const uint32_t spent = plat::GetTickCount() - start;
        if (spent >= kIrProbeReplyMs) return false;
        uint8_t reply = 0;
        const int got = ReadDeviceByte(link, kIrProbeReplyMs - spent, reply);
        if (got < 0) return false;
        if (got == 1 && (reply == kIrProbeReplyA || reply == kIrProbeReplyB)) return true;
    }
}

}  // namespace

std::span<const uint8_t> IrSpeedCommand(int32_t baud) {
    switch (baud) {
        case 2400:
            return kSpeed2400;
        case 9600:
            return kSpeed9600;
        case 19200:
            return kSpeed19200;
        case 38400:
            return kSpeed38400;
        case 57600:
            return kSpeed57600;
        case 115200:
            return kSpeed115200;
        default:
            return {};
    }
}

bool InitTransceiver(IrLinkRecord& link, int32_t baud) {
    // A rate the transceiver cannot be set to is refused before it is reset and probed.
    const std::span<const uint8_t> speed = IrSpeedCommand(baud);
    if (speed.empty()) return false;

    if (!SetBaud(link, 9600)) return false;

    bool present = false;
    for (int attempt = 0; attempt < kIrProbeAttempts && !present; ++attempt)
        present = ProbeOnce(link);
    if (!present) return false;

    WriteRetrying(link, kIrInitBytes);
    WaitTxDrained(link, kCommandDrainMs);
    plat::Sleep(10);
    if (!Escape(link, plat::SETDTR)) return false;
    plat::Sleep(10);
    if (!Escape(link, plat::CLRDTR)) return false;

    WriteRetrying(link, speed);
    WaitTxDrained(link, kCommandDrainMs);
    plat::Sleep(10);
    if (!Escape(link, plat::SETDTR)) return false;

    return SetBaud(link, static_cast<uint32_t>(baud));
}

}  // namespace tolvan
