// Device access of the infra-red link: the retrying write with link reset, waiting for
// the transmit queue to drain, and reading single bytes with a time limit.
#pragma once

#include <cstdint>
#include <span>

namespace tolvan {

struct IrLinkRecord;

// Applies `dcb` again and raises DTR and RTS; state 2 with a fresh send deadline.
bool ResetLink(IrLinkRecord& link);

// Writes all bytes. A failed write resets the link and tries the rest again, three times
// at most (a failing reset ends the tries); then shows "ReopenComm: <system error>" -
// once, until a write succeeds again - and returns false.
bool WriteRetrying(IrLinkRecord& link, std::span<const uint8_t> bytes);

// Reads one byte, waiting up to `waitMs` for it to arrive: 1 with the byte in `out`, 0
// when none came, -1 when the device failed (GetLastError tells why). It only reads what
// the device reports waiting, so a quiet line is never mistaken for a hang-up.
int ReadDeviceByte(IrLinkRecord& link, uint32_t waitMs, uint8_t& out);

// Waits until the device transmit queue is empty, at most `limitMs`. False on time-out
// or when the device cannot be asked.
bool WaitTxDrained(IrLinkRecord& link, uint32_t limitMs);

}  // namespace tolvan
