#include "tests/support/ir_transceiver_sim.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tolvan::test {

namespace {

constexpr uint8_t kProbe = 0xF0;
constexpr uint8_t kCommandEnd = 0x11;  // last byte of the init and of every speed command
constexpr uint8_t kBof = 0xC0;
constexpr uint8_t kEof = 0xC1;
constexpr uint8_t kEsc = 0x7D;
constexpr size_t kFrameData = 150;

void AppendFrame(std::vector<uint8_t>& out, bool final, const std::vector<uint8_t>& data) {
    out.push_back(kBof);
    out.push_back(final ? 0xF1 : 0xF0);
    for (uint8_t b : data) {
        if (b == kBof || b == kEof || b == kEsc) {
            out.push_back(kEsc);
            out.push_back(static_cast<uint8_t>(b ^ 0x20));
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kEof);
}

}  // namespace

IrTransceiverSim::IrTransceiverSim(IrSimOptions options) : options_(options) {}

std::vector<uint8_t> IrTransceiverSim::OnHostBytes(std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> reply;
    for (uint8_t b : bytes) {
        switch (phase_) {
            case Phase::Probe:
            case Phase::Init:
                // A probe repeated before any init byte (the host gave up waiting) is
                // answered again.
                if (b == kProbe && init_.empty()) {
                    ++probesSeen_;
                    if (options_.probesToIgnore < 0 || probesIgnored_ < options_.probesToIgnore) {
                        ++probesIgnored_;
                        break;
                    }
                    reply.push_back(options_.probeReply);
                    phase_ = Phase::Init;
                    break;
                }
                if (phase_ == Phase::Init) {
                    init_.push_back(b);
                    if (b == kCommandEnd) phase_ = Phase::Speed;
                }
                break;
            case Phase::Speed:
                speed_.push_back(b);
                if (b == kCommandEnd) phase_ = Phase::Link;
                break;
            case Phase::Link:
                raw_.push_back(b);
                TakeLinkByte(b, reply);
                break;
        }
    }
    return reply;
}

void IrTransceiverSim::TakeLinkByte(uint8_t b, std::vector<uint8_t>& reply) {
    if (b == kEof) {
        if (inFrame_)
            EndFrame(reply);
        else
            ++badFrames_;
        return;
    }
    if (!inFrame_) {
        if (b == kBof) {
            inFrame_ = true;
            haveControl_ = escaped_ = frameBad_ = false;
            frame_ = {};
        }
        return;
    }
    if (!haveControl_) {
        if (b == kBof) return;
        haveControl_ = true;
        frame_.control = b;
        frameBad_ = (b & 0xF0) != 0xF0;
        return;
    }
    if (b == kBof) {
        frameBad_ = true;
        return;
    }
    if (escaped_) {
        frame_.data.push_back(static_cast<uint8_t>(b ^ 0x20));
        escaped_ = false;
    } else if (b == kEsc) {
        escaped_ = true;
    } else {
        frame_.data.push_back(b);
    }
}

void IrTransceiverSim::EndFrame(std::vector<uint8_t>& reply) {
    inFrame_ = false;
    if (frameBad_ || !haveControl_ || escaped_ || frame_.data.size() > kFrameData) {
        ++badFrames_;
        return;
    }
    received_.insert(received_.end(), frame_.data.begin(), frame_.data.end());
    if (options_.echo) toHost_.insert(toHost_.end(), frame_.data.begin(), frame_.data.end());
    const bool final = (frame_.control & 1) != 0;
    frames_.push_back(std::move(frame_));
    frame_ = {};
    if (final) {
        ++hostTurns_;
        TakeTurn(reply);
    }
}

void IrTransceiverSim::TakeTurn(std::vector<uint8_t>& reply) {
    if (!options_.passTurn) return;
    size_t budget = options_.maxBytesPerTurn;
    for (;;) {
        std::vector<uint8_t> data;
        while (data.size() < kFrameData && budget > 0 && !toHost_.empty()) {
            data.push_back(toHost_.front());
            toHost_.pop_front();
            --budget;
        }
        const bool final = data.size() < kFrameData || budget == 0 || toHost_.empty();
        AppendFrame(reply, final, data);
        if (final) break;
    }
    ++simTurns_;
}

void IrTransceiverSim::OnBreak(bool on) {
    std::lock_guard lock(mutex_);
    if (!on) return;
    ++breaksSeen_;
    phase_ = Phase::Probe;
    init_.clear();
    speed_.clear();
    inFrame_ = false;
}

void IrTransceiverSim::QueueToHost(std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    toHost_.insert(toHost_.end(), bytes.begin(), bytes.end());
}

void IrTransceiverSim::SetPassTurn(bool on) {
    std::lock_guard lock(mutex_);
    options_.passTurn = on;
}

IrTransceiverSim::Phase IrTransceiverSim::CurrentPhase() const {
    std::lock_guard lock(mutex_);
    return phase_;
}

int IrTransceiverSim::ProbesSeen() const {
    std::lock_guard lock(mutex_);
    return probesSeen_;
}

int IrTransceiverSim::BreaksSeen() const {
    std::lock_guard lock(mutex_);
    return breaksSeen_;
}

std::vector<uint8_t> IrTransceiverSim::InitBytes() const {
    std::lock_guard lock(mutex_);
    return init_;
}

std::vector<uint8_t> IrTransceiverSim::SpeedCommand() const {
    std::lock_guard lock(mutex_);
    return speed_;
}

std::vector<uint8_t> IrTransceiverSim::RawLinkBytes() const {
    std::lock_guard lock(mutex_);
    return raw_;
}

std::vector<uint8_t> IrTransceiverSim::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<IrSimFrame> IrTransceiverSim::HostFrames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

int IrTransceiverSim::BadFrames() const {
    std::lock_guard lock(mutex_);
    return badFrames_;
}

int IrTransceiverSim::HostTurns() const {
    std::lock_guard lock(mutex_);
    return hostTurns_;
}

int IrTransceiverSim::SimTurns() const {
    std::lock_guard lock(mutex_);
    return simTurns_;
}

size_t IrTransceiverSim::PendingToHost() const {
    std::lock_guard lock(mutex_);
    return toHost_.size();
}

void IrSimPeer::OnHostWrite(plat::SimDevice& dev, std::span<const uint8_t> bytes) {
    const std::vector<uint8_t> reply = sim_.OnHostBytes(bytes);
    if (!reply.empty()) dev.DeliverToHost(reply);
}

}  // namespace tolvan::test
