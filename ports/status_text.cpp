#include "ports/status_text.h"

namespace tolvan {

namespace {

// Port-level codes 0..-42, indexed by -code.
constexpr const char* kPortTexts[] = {
    "Success",
    "General error",
    "Invalid port",
    "In use",
    "Invalid buffer size",
    "No memory available",
    "Not set up",
    "Invalid parameter",
    "Buffer empty",
    "Buffer full",
    "Time out",
    "CTS is low",
    "CD is low",
    "DSR is low",
    "No 8250 present",
    "XMODEM status",
    "User abort",
    "File I/O error",
    "XMODEM status",
    "Not wide track",
    "Hardware conflict",
    "CRC mode",
    "Modem didn't send OK",
    "No modem response",
    "Function not supported",
    "Illegal baud rate",
    "Illegal parity",
    "Ilegal word length",
    "Illegal number of stop bits",
    "Missing copyright notice",
    "Driver not installed",
    "User buffer overflow",
    "Failure to connect to port",
    "DOS Extender returned an error",
    "Illegal board number",
    "Board is in use",
    "Blocked by handshaking",
    "Maximum number of ports exceeded",
    "Illegal IRQ line",
    "IRQ line in use",
    "Thunk setup failed",
    "ANSI Error",
    "Compiler packing error",
};

// File-transfer codes -601..-623, indexed by -code - 601.
constexpr const char* kTransferTexts[] = {
    "Can't allocate xfer buffer",
    "Can't open xfer file",
    "Can't send NAK, buffer full",
    "Can't send ACK, buffer full",
    "User hit abort key",
    "Remote end sent abort code",
    "Error during file I/O",
    "Timed out waiting for packet",
    "Got an invalid packet size",
    "Too many errors to continue",
    "Internal error",
    "Can't send block, buffer full",
    "Can't send EOT, buffer full",
    "Protocol error",
    "Can't send char, buffer full",
    "Can't get character",
    "Timeout waiting for characters",
    "Lost carrier during transfer",
    "No files were sent",
    "Receiver should send ZSKIP",
    "CompuServe B+ packet sequence err",
    "CompuServe B+ packet arrived",
    "File engine failed",
};

constexpr int kPortCount = sizeof(kPortTexts) / sizeof(kPortTexts[0]);
constexpr int kTransferCount = sizeof(kTransferTexts) / sizeof(kTransferTexts[0]);
static_assert(kPortCount == 43 && kTransferCount == 23);

}  // namespace

const char* GetStatusText(int code) {
    if (code <= 0 && code > -kPortCount) return kPortTexts[-code];
    if (code <= -601 && code > -601 - kTransferCount) return kTransferTexts[-code - 601];
    return "Unknown error code";
}

}  // namespace tolvan
