// The buffer views' face of a channel document: its receive and transmit buffers through
// readouts, and hints to its other views. One per channel window, owned by that window.
#pragma once

#include "app/channel_buffer_readout.h"
#include "app/channel_buffer_source.h"

#include <QObject>

namespace tolvan {
class CDocComm;
}

namespace tolvan::app {

class CommDocSource : public QObject, public ChannelBufferSource {
    Q_OBJECT
public:
    explicit CommDocSource(CDocComm& channel, QObject* parent = nullptr);

    // The buffers are looked up on each call: they are re-created when the channel connects.
    const BufferReadout* Buffer(BufferSide side) const override;
    DeviceReadout Device() const override;
    StreamReadout Stream() const override;
    void UpdateOtherViews(tfw::CView* sender, long hint) override;

private:
    CDocComm& channel_;
    mutable ChannelBufferReadout receive_;
    mutable ChannelBufferReadout transmit_;
};

}  // namespace tolvan::app
