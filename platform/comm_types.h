// Records and constants of the serial API: a device control block, time-outs, queue
// counts, error bits and last-error numbers shaped like the ones the drivers are written
// against, so the drivers read like their description.
#pragma once

#include <cstdint>

namespace tolvan::plat {

// A device handle: a small positive integer, kInvalidCommHandle when an open failed.
using CommHandle = int;
inline constexpr CommHandle kInvalidCommHandle = -1;

inline constexpr uint32_t MAXDWORD = 0xFFFFFFFFu;

// Parity values of Dcb::Parity.
inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;

// Stop-bit values of Dcb::StopBits.
inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

// Dcb::fDtrControl
inline constexpr uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint8_t DTR_CONTROL_HANDSHAKE = 2;
// Dcb::fRtsControl
inline constexpr uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr uint8_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr uint8_t RTS_CONTROL_TOGGLE = 3;

// The device control block. BaudRate 57601 stands for 115200 on the wire; rates without
// a standard constant are set as custom rates. Dsr flow and the Dtr/Rts control modes are
// kept here and drive the modem lines; termios has no Dsr flow, so it is only remembered.
struct Dcb {
    uint32_t DCBlength = sizeof(Dcb);
    uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;  // parity checking of received bytes
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = DTR_CONTROL_ENABLE;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;  // XON/XOFF on output
    bool fInX = false;   // XON/XOFF on input
    bool fErrorChar = false;
    bool fNull = false;
    uint8_t fRtsControl = RTS_CONTROL_ENABLE;
    bool fAbortOnError = false;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = NOPARITY;
    uint8_t StopBits = ONESTOPBIT;
    char XonChar = 0x11;
    char XoffChar = 0x13;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const Dcb&) const = default;
};

// Read: with ReadIntervalTimeout MAXDWORD and both read totals 0 a read returns at once
// with what is queued. Otherwise a read waits up to
// ReadTotalTimeoutMultiplier * n + ReadTotalTimeoutConstant ms (0 and 0: until n bytes
// came). Write totals likewise bound a write; with both 0 whatever the device cannot take
// at once is queued by the handle and sent in the background (never blocks).
struct CommTimeouts {
    uint32_t ReadIntervalTimeout = MAXDWORD;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const CommTimeouts&) const = default;
};

// Queue counts returned by ClearCommError.
struct ComStat {
    uint32_t cbInQue = 0;   // bytes received and not yet read
    uint32_t cbOutQue = 0;  // bytes written and not yet on the wire
};

// Line error bits (ClearCommError).
inline constexpr uint32_t CE_RXOVER = 0x0001;
inline constexpr uint32_t CE_OVERRUN = 0x0002;
inline constexpr uint32_t CE_RXPARITY = 0x0004;
inline constexpr uint32_t CE_FRAME = 0x0008;
inline constexpr uint32_t CE_BREAK = 0x0010;
inline constexpr uint32_t CE_TXFULL = 0x0100;
inline constexpr uint32_t CE_MODE = 0x8000;

// Modem status bits (GetCommModemStatus).
inline constexpr uint32_t MS_CTS_ON = 0x0010;
inline constexpr uint32_t MS_DSR_ON = 0x0020;
inline constexpr uint32_t MS_RING_ON = 0x0040;
inline constexpr uint32_t MS_RLSD_ON = 0x0080;

// EscapeCommFunction codes.
inline constexpr uint32_t SETXOFF = 1;
inline constexpr uint32_t SETXON = 2;
inline constexpr uint32_t SETRTS = 3;
inline constexpr uint32_t CLRRTS = 4;
inline constexpr uint32_t SETDTR = 5;
inline constexpr uint32_t CLRDTR = 6;
inline constexpr uint32_t SETBREAK = 8;
inline constexpr uint32_t CLRBREAK = 9;

// PurgeComm flags.
inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;

// Last-error numbers (GetLastError).
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;  // no such device (or not a tty)
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;  // COM number without a device
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;   // device held by someone else
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_GEN_FAILURE = 31;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;  // setting the device refuses
inline constexpr uint32_t ERROR_OPERATION_ABORTED = 995;
inline constexpr uint32_t ERROR_IO_PENDING = 997;
inline constexpr uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;  // the device went away
inline constexpr uint32_t ERROR_TIMEOUT = 1460;

}  // namespace tolvan::plat
