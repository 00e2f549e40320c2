// The channel operations the modem commands stand on. The modem channel implements them
// with its plain-channel half; keeping them behind this interface lets the command logic
// (waits, register reads, command texts) live apart from the document.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ticks.h"

namespace tolvan {

class ModemLink {
public:
    virtual ~ModemLink() = default;

    virtual bool LinkConnected() const = 0;
    // The port is open and another channel owns its write lock.
    virtual bool LinkLockedByOther() const = 0;
    // One level of this channel's write lock; false when it could not be taken.
    virtual bool LinkLock() = 0;
    virtual void LinkUnlock() = 0;
    // Bytes stored for transmission.
    virtual int32_t LinkWrite(std::span<const uint8_t> bytes) = 0;
    // One string up to `terminator` (a byte, or -2 for CR LF), at most destination.size()-1
    // bytes; its length, 0 when no complete string is held.
    virtual int32_t LinkReadString(std::span<uint8_t> destination, int16_t terminator) = 0;
    // Up to destination.size() bytes; the count read.
    virtual int32_t LinkRead(std::span<uint8_t> destination) = 0;
    virtual void LinkClearReceive() = 0;
    // Bytes the channel has received and not read yet (an empty line read leaves fewer).
    virtual uint32_t LinkHeld() const = 0;
    // The driver's last status.
    virtual int16_t LinkLastError() = 0;
    // What a wait for the modem's answer sleeps on (under the server lock): the channel's
    // arrival descriptor and wake-ups. None: the wait looks every few milliseconds.
    virtual plat::WaitTarget LinkWaitTarget() { return {}; }
};

}  // namespace tolvan
