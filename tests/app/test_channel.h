// A channel as the buffer views see it, for the view tests: two rings whose bytes and figures
// a test sets, and the channel's list of views that hints go to (every view but the sender).
#pragma once

#include "app/channel_buffer_source.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tolvan::app::test {

class TestRing : public BufferReadout {
public:
    explicit TestRing(std::uint32_t size) : bytes(size, 0) { figures.size = size; }

    // The port stores bytes at the write index, as a freshly received block.
    void Receive(std::initializer_list<std::uint8_t> data) {
        for (std::uint8_t b : data) {
            bytes[figures.writeIndex] = b;
            figures.writeIndex = (figures.writeIndex + 1) % figures.size;
            if (figures.count < figures.size)
                ++figures.count;
            else
                figures.status |= Overflow;
        }
        figures.status &= static_cast<std::uint16_t>(~ShortRead);
    }

    BufferFigures Figures() const override { return figures; }
    bool VisitRing(const std::function<void(const BufferFigures&, std::span<const std::uint8_t>)>& fn) const override {
        ++visits;
        if (lockFails) return false;
        fn(figures, bytes);
        return true;
    }

    std::vector<std::uint8_t> bytes;
    BufferFigures figures;
    bool lockFails = false;
    mutable int visits = 0;
};

class TestChannel : public ChannelBufferSource {
public:
    TestChannel() = default;
    TestChannel(std::uint32_t receiveSize, std::uint32_t transmitSize) { Connect(receiveSize, transmitSize); }

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
        return ring ? &*ring : nullptr;
    }
    void UpdateOtherViews(const ChannelView* sender, int hint) override {
        sent.emplace_back(sender, hint);
        for (ChannelView* v : views)
            if (v != sender) v->OnUpdate(sender, hint);
    }
    void UpdateAllViews(int hint) {
        for (ChannelView* v : views) v->OnUpdate(nullptr, hint);
    }

    std::optional<TestRing> receive;
    std::optional<TestRing> transmit;
    std::vector<ChannelView*> views;
    std::vector<std::pair<const ChannelView*, int>> sent;  // hints views asked to send
};

}  // namespace tolvan::app::test
