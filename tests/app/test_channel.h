// A channel as the buffer views see it, for the view tests: a framework document with two
// real channel buffers on movable ring memory, filled the way the shared port fills them.
#pragma once

#include "app/channel_buffer_readout.h"
#include "app/channel_buffer_source.h"
#include "channels/channel_buffer.h"
#include "framework/document.h"
#include "platform/movable_memory.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

namespace tolvan::app::test {

class TestRing {
public:
    explicit TestRing(std::uint32_t size)
        : memory_(plat::GlobalAlloc(plat::GMEM_MOVEABLE | plat::GMEM_ZEROINIT, size)) {
        buffer.Init(size, memory_, 0);
    }
    ~TestRing() { plat::GlobalFree(memory_); }
    TestRing(const TestRing&) = delete;
    TestRing& operator=(const TestRing&) = delete;

    // The port stores received bytes at the write position and tells the buffer.
    void Receive(std::initializer_list<std::uint8_t> data) {
        auto* ring = static_cast<std::uint8_t*>(plat::GlobalLock(memory_));
        std::uint32_t at = buffer.WriteIndex();
        for (std::uint8_t b : data) {
            ring[at] = b;
            at = (at + 1) % buffer.Size();
        }
        plat::GlobalUnlock(memory_);
        buffer.Received(static_cast<std::uint32_t>(data.size()));
    }
    // A client reads n bytes; returns how many came.
    std::uint32_t Read(std::uint32_t n) {
        std::vector<std::uint8_t> out(n);
        return buffer.Read(out);
    }
    // Bytes stored for sending (transmit buffers).
    std::uint32_t Write(std::initializer_list<std::uint8_t> data) {
        std::vector<std::uint8_t> in(data);
        return buffer.Write(in);
    }

    CChannelBuffer buffer;
    ChannelBufferReadout readout{&buffer};

private:
    plat::HGLOBAL memory_;
};

class TestChannel : public tfw::CDocument, public ChannelBufferSource {
public:
    TestChannel() = default;
    ~TestChannel() override { SetAutoDelete(false); }
    TestChannel(std::uint32_t receiveSize, std::uint32_t transmitSize) {
        Connect(receiveSize, transmitSize);
    }

    void Connect(std::uint32_t receiveSize, std::uint32_t transmitSize) {
        receive.emplace(receiveSize);
        transmit.emplace(transmitSize);
    }
    void Disconnect() {
        receive.reset();
        transmit.reset();
    }

    const BufferReadout* Buffer(BufferSide side) const override {
        const auto& ring = side == BufferSide::Receive ? receive : transmit;
        return ring ? &ring->readout : nullptr;
    }
    void UpdateOtherViews(tfw::CView* sender, long hint) override {
        sent.emplace_back(sender, hint);
        UpdateAllViews(sender, hint);
    }
    using tfw::CDocument::UpdateAllViews;
    void UpdateAllViews(long hint) { UpdateAllViews(nullptr, hint); }

    std::optional<TestRing> receive;
    std::optional<TestRing> transmit;
    std::vector<std::pair<tfw::CView*, long>> sent;  // hints the views asked to send
};

}  // namespace tolvan::app::test
