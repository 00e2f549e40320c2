// What the buffer views read from a channel: its receive and transmit buffers, read-only, and
// a way to tell the channel's other views which buffer to show. The channel document provides
// it; the views never change a buffer.
#pragma once

#include "framework/view.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tolvan::app {

// Update hints: 0..4 and 7 come from the channel, 5 and 6 from the buffer information view.
enum ViewHint : int {
    HintAll = 0,
    HintReceive = 1,
    HintTransmit = 2,
    HintSizes = 3,
    HintDisconnected = 4,
    HintShowReceive = 5,
    HintShowTransmit = 6,
    HintDeviceGone = 7,  // the channel's port found its device gone
    HintDeviceBack = 8,  // the port's device came back and the port reopened it
};

// Which buffer a view shows; the values are the views' selector.
enum class BufferSide : int { Transmit = 0, Receive = 1 };

// Status-word bits of a channel buffer.
enum BufferStatusBit : std::uint16_t {
    BufferLockFailed = 1,
    ShortRead = 2,
    Overflow = 4,
    ShortWrite = 8,
};

// The figures of one buffer, taken together so that they agree with each other.
struct BufferFigures {
    std::uint32_t size = 0;        // ring size in bytes
    std::uint32_t count = 0;       // bytes held (not yet read, or not yet sent)
    std::uint16_t status = 0;      // BufferStatusBit flags
    std::uint32_t readIndex = 0;   // ring position of the next byte to read
    std::uint32_t writeIndex = 0;  // ring position the next byte is stored at
};

class BufferReadout {
public:
    virtual ~BufferReadout() = default;
    virtual BufferFigures Figures() const = 0;
    // Locks the ring memory for the duration of fn, which gets the figures and all size bytes
    // of the ring. Returns false, without calling fn, when the memory cannot be locked.
    virtual bool VisitRing(const std::function<void(const BufferFigures&,
                                                    std::span<const std::uint8_t>)>& fn) const = 0;
};

// The device a channel's port stands for.
struct DeviceReadout {
    std::string target;  // "/dev/ttyUSB0", "loop://"; empty while the channel is not connected
    bool gone = false;   // it went away (unplugged, hung up)
};

// The stream that takes a channel's received bytes (channels/channel_stream.h).
struct StreamReadout {
    bool active = false;
    bool terminal = false;     // a terminal (else a descriptor a client holds)
    std::string where;         // the terminal's path, or the holder of the descriptor
    bool programOpen = false;  // a program has the terminal open
    std::uint64_t passed = 0;  // received bytes it took
    std::uint64_t lost = 0;    // received bytes it lost
};

class ChannelBufferSource {
public:
    virtual ~ChannelBufferSource() = default;
    // Looks at the device now (cheap, takes nothing from it); a source without a port has none.
    virtual DeviceReadout Device() const { return {}; }
    // The channel's stream now; inactive when it has none.
    virtual StreamReadout Stream() const { return {}; }
    // The buffer of that side, or null while the channel is not connected.
    virtual const BufferReadout* Buffer(BufferSide side) const = 0;
    // Updates every view of the channel except sender with hint (the channel document's
    // UpdateAllViews).
    virtual void UpdateOtherViews(tfw::CView* sender, long hint) = 0;
};

// A view of a channel's buffers: a framework view of the channel document, updated on the
// user-interface thread (a change made on another thread reaches it through a queued call).
class ChannelView : public tfw::CView {};

}  // namespace tolvan::app
