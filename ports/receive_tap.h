// What a shared port tells the reader of its streams (channels/stream_hub.h), which lives a
// layer above. The port owns at most one tap; every call comes with the server lock held.
#pragma once

#include <cstdint>

namespace tolvan {

class ReceiveTap {
public:
    virtual ~ReceiveTap() = default;
    // The port stored n new bytes in its receive ring and every channel's receive view has
    // been told: streams take theirs now.
    virtual void Received(uint32_t n) = 0;
    // True while the port must leave received bytes in the device (a lossless stream is
    // full): PollReceive then takes nothing.
    virtual bool HoldReceive() const = 0;
    // Something a stream may wait for changed: the write lock was let go, a channel left,
    // the port closed or opened.
    virtual void Changed() = 0;
};

}  // namespace tolvan
