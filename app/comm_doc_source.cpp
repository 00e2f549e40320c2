#include "app/comm_doc_source.h"

#include "channels/doc_comm.h"

namespace tolvan::app {

CommDocSource::CommDocSource(CDocComm& channel, QObject* parent)
    : QObject(parent), channel_(channel) {}

const BufferReadout* CommDocSource::Buffer(BufferSide side) const {
    if (side == BufferSide::Receive) {
        if (!channel_.ReceiveBuffer()) return nullptr;
        receive_.Reset(channel_.ReceiveBuffer());
        return &receive_;
    }
    if (!channel_.TransmitBuffer()) return nullptr;
    transmit_.Reset(channel_.TransmitBuffer());
    return &transmit_;
}

void CommDocSource::UpdateOtherViews(tfw::CView* sender, long hint) {
    channel_.UpdateAllViews(sender, hint);
}

}  // namespace tolvan::app
