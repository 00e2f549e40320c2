// A minimal channel for tests of the shared port: it owns its receive and transmit
// buffers the way the channel document does, rebuilds them when it attaches, reads after
// a poll and pushes right after every write, and records title refreshes and view hints.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "channels/channel_buffer.h"
#include "ports/port_client.h"
#include "ports/shared_port.h"

namespace tolvan::test {

class ChannelDouble final : public PortClient {
public:
    ChannelDouble() = default;
    ~ChannelDouble();  // leaves its port, as a closing channel does
    ChannelDouble(const ChannelDouble&) = delete;
    ChannelDouble& operator=(const ChannelDouble&) = delete;

    // PortClient: drop the old buffers, leave the old port, build both buffers here.
    void SetPort(CSharedPort* port) override;
    RingView* ReceiveView() override { return rx_.get(); }
    RingView* TransmitView() override { return tx_.get(); }
    void RefreshTitle() override;
    void UpdateAllViews(int hint) override { hints.push_back(hint); }

    // Deletes the buffers and detaches; the port closes when no channel is left.
    void Disconnect();

    // Poll, then read up to destination.size() bytes from the receive buffer.
    uint32_t ReadFromPort(std::span<uint8_t> destination);
    // Poll, then everything the receive buffer holds.
    std::vector<uint8_t> ReadAll();
    // Nothing while another channel holds the lock; else store what fits and push this
    // channel's pending bytes. Returns the bytes stored.
    uint32_t WriteToPort(std::span<const uint8_t> source);
    uint32_t WriteToPort(const std::string& text);

    // What the transmit view holds, read under the server lock (a drainer may move it).
    uint32_t TxCount() const;

    CSharedPort* Port() const { return port_; }
    CChannelBuffer* Rx() const { return rx_.get(); }
    CChannelBuffer* Tx() const { return tx_.get(); }

    // What the channel was asked to do.
    int titleRefreshes = 0;
    std::string title;  // "COMn baud parity word stop" at the last refresh
    std::vector<int> hints;

private:
    CSharedPort* port_ = nullptr;
    std::unique_ptr<CChannelBuffer> rx_;
    std::unique_ptr<CChannelBuffer> tx_;
};

}  // namespace tolvan::test
