#include "app/comm_doc_source.h"

#include "channels/channel_stream.h"
#include "channels/doc_comm.h"
#include "platform/server_lock.h"
#include "ports/shared_port.h"

namespace tolvan::app {

static_assert(HintDeviceGone == kHintDeviceGone, "the views know the port's hint");
static_assert(HintDeviceBack == kHintDeviceBack, "the views know the port's hint");

CommDocSource::CommDocSource(CDocComm& channel, QObject* parent)
    : QObject(parent),
      channel_(channel),
      receive_([&channel] { return channel.ReceiveBuffer(); }),
      transmit_([&channel] { return channel.TransmitBuffer(); }) {}

const BufferReadout* CommDocSource::Buffer(BufferSide side) const {
    // A client call on another thread may connect or disconnect the channel at any time:
    // the readouts look the buffer up again on every read.
    plat::ServerLockGuard lock;
    if (side == BufferSide::Receive) return channel_.ReceiveBuffer() ? &receive_ : nullptr;
    return channel_.TransmitBuffer() ? &transmit_ : nullptr;
}

DeviceReadout CommDocSource::Device() const {
    plat::ServerLockGuard lock;
    const CSharedPort* port = channel_.Port();
    if (!port || !port->IsOpen()) return {};
    return {port->DeviceTarget(), port->DeviceGone()};
}

StreamReadout CommDocSource::Stream() const {
    const StreamInfo info = DescribeStream(channel_);
    if (!info.active) return {};
    const bool terminal = info.kind == StreamKind::Terminal;
    return {true,        terminal, terminal ? info.terminalPath : info.holder, info.programOpen,
            info.passed, info.lost};
}

void CommDocSource::UpdateOtherViews(tfw::CView* sender, long hint) {
    channel_.UpdateAllViews(sender, hint);
}

}  // namespace tolvan::app
