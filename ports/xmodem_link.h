// The channel operations an XMODEM reception drives, with the result conventions of
// the channel's own reading and writing operations. The channel document implements
// this interface; tests implement it over a raw pty.
//
// A transfer thread holds the server lock around each call. An implementation that
// waits (the timed reads) waits through the platform wait function, which lets the lock
// go meanwhile, so other threads can use the port while a reception runs.
#pragma once

#include <cstdint>
#include <span>

namespace tolvan {

class XModemLink {
public:
    virtual ~XModemLink() = default;

    // Stores the low byte of `ch` for transmission and pushes it to the port.
    // 1 when stored, 0 when not (transmit buffer full, or another channel holds the
    // write lock), -6 when the channel is not connected, another negative status on
    // failure.
    virtual int16_t WriteCharToPort(int16_t ch) = 0;

    // The next received byte 0..255, waiting up to `ms` milliseconds on the tick source.
    // When nothing came: the driver's last status if it is not 0, else -10 ("Time out");
    // -6 when not connected.
    virtual int16_t ReadCharFromPortTimed(int32_t ms) = 0;

    // Collects up to `dest.size()` bytes within `ms` milliseconds and returns how many
    // were delivered (0..dest.size()); 0 when not connected. Never touches a byte
    // outside `dest`. A time limit that runs out is not an error.
    virtual int16_t ReadFromPortTimed(std::span<uint8_t> dest, int32_t ms) = 0;

    // Discards what the channel's receive buffer holds.
    virtual void ClearRBuff() = 0;

    virtual bool IsConnected() = 0;

    // The channel's abort-request record: set by AbortXfert, cleared when a reception
    // starts.
    virtual int32_t GetAbortRequest() = 0;
    virtual void SetAbortRequest(int32_t value) = 0;

    // Keep-alive reference held by a running transfer thread. Release may be called on
    // the transfer thread and may drop the last reference; an implementation whose
    // destruction belongs on another thread defers it there.
    virtual void AddRef() = 0;
    virtual void Release() = 0;
};

}  // namespace tolvan
