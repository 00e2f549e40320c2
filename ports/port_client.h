// What a shared port needs from the channels attached to it. The channel documents live
// in a layer above the ports, so the shared port reaches them only through these two
// small interfaces: the channel itself (attach, its two ring views, title, views) and a
// channel's view of one of the port's rings.
#pragma once

#include <cstdint>

#include "platform/movable_memory.h"

namespace tolvan {

class CSharedPort;

// The hint a shared port sends every channel's views, once, when it finds that its device
// went away (views ask the port what became of it).
inline constexpr int kHintDeviceGone = 7;
// The hint a shared port sends every channel's views when its lost device came back and
// the port reopened it (the channels carry on where they were).
inline constexpr int kHintDeviceBack = 8;

// A channel's view of one shared ring: its own read and write positions and count over
// memory that the shared port owns. The channel buffer implements it.
class RingView {
public:
    // Both positions at start (taken modulo size), nothing held, status word cleared.
    virtual void Init(uint32_t size, plat::HGLOBAL memory, uint32_t start) = 0;
    // The port stored n new bytes at the write position (receive rings). Returns 4 when the
    // view has overflowed, now or before, else 0.
    virtual int Received(uint32_t n) = 0;
    // The port sent n bytes from the read position (transmit rings).
    virtual void Sent(uint32_t n) = 0;
    virtual uint32_t ReadIndex() const = 0;
    virtual uint32_t Count() const = 0;
    // Makes the view show `pending` bytes from `start` on, keeping its status word. The
    // shared port uses it to keep every transmit view at the end of all pending data, so a
    // channel never stores over bytes another channel has not yet got out.
    virtual void Follow(uint32_t start, uint32_t pending) = 0;

protected:
    ~RingView() = default;
};

// A channel as the shared port sees it. The port keeps pointers, never ownership: a
// channel must Detach before it goes away.
class PortClient {
public:
    // Called by CSharedPort::Attach after the channel joined the port's list: the channel
    // drops its old buffers, detaches from the port it was on (if any) and builds both
    // buffers on this port's rings at the port's positions.
    virtual void SetPort(CSharedPort* port) = 0;
    // The channel's views of the port's rings; null while it has no buffers.
    virtual RingView* ReceiveView() = 0;
    virtual RingView* TransmitView() = 0;
    // Rebuilds the title from the port's line settings.
    virtual void RefreshTitle() = 0;
    // Updates every view of the channel with a hint (0 everything).
    virtual void UpdateAllViews(int hint) = 0;

protected:
    ~PortClient() = default;
};

}  // namespace tolvan
