#include "ports/ir_device_io.h"

#include <string>

#include "platform/message_box.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "ports/ir_link.h"

namespace tolvan {

namespace {

constexpr int kWriteRetries = 3;

}  // namespace

bool ResetLink(IrLinkRecord& link) {
    if (!plat::SetCommState(link.handle, link.dcb) ||
        !plat::EscapeCommFunction(link.handle, plat::SETDTR) ||
        !plat::EscapeCommFunction(link.handle, plat::SETRTS))
        return false;
    link.state = kIrSending;
    link.deadline = plat::GetTickCount() + kIrSendTurnMs;
    return true;
}

bool WriteRetrying(IrLinkRecord& link, std::span<const uint8_t> bytes) {
    for (int retry = 0;; ++retry) {
        uint32_t written = 0;
        const bool ok = plat::WriteComm(link.handle, bytes.data(),
                                        static_cast<uint32_t>(bytes.size()), &written);
        // The write waited with the server lock let go; the link may have been closed
        // meanwhile (its port closed, a new line set). Nothing is left to retry or report.
        if (IrLinkDropped(link)) return false;
        // Only what did not go out is written again, so nothing reaches the wire twice.
        if (written > bytes.size()) written = static_cast<uint32_t>(bytes.size());
        bytes = bytes.subspan(written);
        if (ok && bytes.empty()) {
            link.writeFailShown = false;
            return true;
        }
        if (ok) plat::SetLastError(plat::ERROR_TIMEOUT);  // the device took too little in time
        if (retry == kWriteRetries) break;
        const uint32_t writeError = plat::GetLastError();
        if (!ResetLink(link)) {
            plat::SetLastError(writeError);
            break;
        }
    }
    const uint32_t error = plat::GetLastError();
    if (!link.writeFailShown) {
        link.writeFailShown = true;
        plat::ShowMessageBox("ReopenComm: " + std::to_string(error));
        plat::SetLastError(error);  // callers look at it after the message
    }
    return false;
}

int ReadDeviceByte(IrLinkRecord& link, uint32_t waitMs, uint8_t& out) {
    bool failed = false;
    const bool waiting = plat::WaitFor(
        [&] {
            uint32_t errors = 0;
            plat::ComStat stat;
            if (!plat::ClearCommError(link.handle, &errors, &stat)) {
                failed = true;
                return true;
            }
            return stat.cbInQue > 0;
        },
        waitMs, plat::CommArrivalFd(link.handle));
    if (failed || IrLinkDropped(link)) return -1;
    if (!waiting) return 0;
    uint32_t got = 0;
    if (!plat::ReadComm(link.handle, &out, 1, &got)) return -1;
    return got == 1 ? 1 : 0;
}

bool WaitTxDrained(IrLinkRecord& link, uint32_t limitMs) {
    bool failed = false;
    const bool drained = plat::WaitFor(
        [&] {
            uint32_t errors = 0;
            plat::ComStat stat;
            if (!plat::ClearCommError(link.handle, &errors, &stat)) {
                failed = true;
                return true;
            }
            return stat.cbOutQue == 0;
        },
        limitMs);
    return drained && !failed;
}

}  // namespace tolvan
