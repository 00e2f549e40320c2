#include "app/channel_buffer_readout.h"

#include "channels/channel_buffer.h"
#include "platform/server_lock.h"

namespace tolvan::app {

namespace {
BufferFigures FiguresOf(const CChannelBuffer& b) {
    BufferFigures f;
    f.size = b.Size();
    f.count = b.Count();
    f.status = static_cast<std::uint16_t>(b.Flags() & 0xFFFF);
    f.readIndex = b.ReadIndex();
    f.writeIndex = b.WriteIndex();
    return f;
}
}  // namespace

BufferFigures ChannelBufferReadout::Figures() const {
    plat::ServerLockGuard lock;
    const CChannelBuffer* buffer = Current();
    return buffer ? FiguresOf(*buffer) : BufferFigures{};
}

bool ChannelBufferReadout::VisitRing(
    const std::function<void(const BufferFigures&, std::span<const std::uint8_t>)>& fn) const {
    plat::ServerLockGuard lock;
    const CChannelBuffer* buffer = Current();
    if (!buffer) return false;
    const BufferFigures f = FiguresOf(*buffer);
    return buffer->Visit([&](std::span<const std::uint8_t> ring) { fn(f, ring); });
}

}  // namespace tolvan::app
