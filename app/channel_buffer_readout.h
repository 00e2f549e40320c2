// The views' read-only face of a channel buffer (CChannelBuffer). Every read takes the server
// lock, so that the figures and the ring bytes agree even while the transfer thread or an
// automation call moves the buffer.
#pragma once

#include "app/channel_buffer_source.h"

#include <functional>

namespace tolvan {
class CChannelBuffer;
}

namespace tolvan::app {

class ChannelBufferReadout : public BufferReadout {
public:
    // buffer: not owned; it must outlive this readout or be replaced with Reset first.
    explicit ChannelBufferReadout(const CChannelBuffer* buffer = nullptr) : buffer_(buffer) {}
    // Looks the buffer up on every read, under the server lock: a channel re-creates or
    // drops its buffers when it connects or disconnects, perhaps on another thread.
    using Resolver = std::function<const CChannelBuffer*()>;
    explicit ChannelBufferReadout(Resolver resolve)
        : buffer_(nullptr), resolve_(std::move(resolve)) {}

    void Reset(const CChannelBuffer* buffer) { buffer_ = buffer; }
    const CChannelBuffer* Get() const { return buffer_; }

    // All zero without a buffer.
    BufferFigures Figures() const override;
    // False without a buffer or when the ring memory cannot be locked.
    bool VisitRing(const std::function<void(const BufferFigures&, std::span<const std::uint8_t>)>&
                       fn) const override;

private:
    const CChannelBuffer* Current() const { return resolve_ ? resolve_() : buffer_; }

    const CChannelBuffer* buffer_;
    Resolver resolve_;
};

}  // namespace tolvan::app
