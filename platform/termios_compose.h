// Between a Dcb and the termios settings of a tty: what SetCommState puts on the device,
// and what a freshly opened device's settings mean as a Dcb. Pure functions, so the
// settings for every parity, word length and handshake can be checked as values.
#pragma once

#include <termios.h>

#include <cstdint>

#include "platform/comm_types.h"

namespace tolvan::plat {

struct ComposedTermios {
    termios tio{};              // speed fields set through cfsetspeed when `standardSpeed`
    uint32_t wireBaud = 0;      // the rate on the wire (57601 -> 115200)
    bool standardSpeed = true;  // false: set `wireBaud` as a custom rate (termios2 BOTHER)
};

// The rate a Dcb baud value stands for on the wire.
uint32_t WireBaud(uint32_t dcbBaud);
// The Bnnn constant of a rate, or 0 when there is none.
speed_t SpeedConstant(uint32_t baud);
// The rate of a Bnnn constant, or 0.
uint32_t SpeedValue(speed_t speed);

// Composes the settings for `dcb` on top of `base` (the device's current settings): raw
// mode, non-blocking reads (VMIN 0, VTIME 0), receiver on, modem-control lines ignored
// for opening (CLOCAL), word length, parity incl. mark/space (CMSPAR), stop bits,
// RTS/CTS (CRTSCTS when CTS output flow or RTS handshake), XON/XOFF with its characters,
// parity checking (INPCK) when asked and parity is on. Returns ERROR_SUCCESS or
// ERROR_INVALID_PARAMETER (word length outside 5..8, 1.5 stop bits with more than 5
// data bits, unknown parity or stop-bit value, baud 0).
uint32_t ComposeTermios(const termios& base, const Dcb& dcb, ComposedTermios* out);

// The Dcb that describes a device's settings (`customBaud`: the rate when the speed is
// a custom one, else 0). DTR and RTS control are taken as enabled (handshake with
// CRTSCTS); the queue limits and the error/EOF/event characters are 0.
Dcb DecodeTermios(const termios& tio, uint32_t customBaud = 0);

}  // namespace tolvan::plat
