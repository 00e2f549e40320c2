// A simulated infra-red transceiver for tests. It answers the presence probe, takes the
// initialisation and speed commands, and then plays the far side of the framed,
// turn-taking link: it decodes the host's frames, and whenever the host passes the turn
// it answers with frames of its own (queued data, or an echo of what it received) and
// passes the turn back.
//
// The core is transport-free; IrSimPeer plugs it into a simulated device (sim://name)
// and IrSimPtyRunner drives it from a thread on the master side of a pty.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/sim_device.h"
#include "tests/support/pty_peer_runner.h"

namespace tolvan::test {

struct IrSimOptions {
    int probesToIgnore = 0;     // probes left unanswered first; negative: never answers
    uint8_t probeReply = 0xF4;  // F4 or F5 are good answers
    bool echo = false;          // queue every received data byte to be sent back
    uint32_t maxBytesPerTurn = 1200;
    bool passTurn = true;  // false: keeps silent when it gets the turn
};

struct IrSimFrame {
    uint8_t control = 0;
    std::vector<uint8_t> data;
};

class IrTransceiverSim {
public:
    enum class Phase { Probe, Init, Speed, Link };

    explicit IrTransceiverSim(IrSimOptions options = {});

    // Bytes the host put on the wire; returns what the transceiver sends back at once.
    std::vector<uint8_t> OnHostBytes(std::span<const uint8_t> bytes);
    // A break resets the transceiver: it waits for the probe again (the link's reset
    // sequence sends one before every probe).
    void OnBreak(bool on);

    // Data to send to the host in the transceiver's next turns.
    void QueueToHost(std::span<const uint8_t> bytes);
    // Sets whether the turn is passed back from now on.
    void SetPassTurn(bool on);

    Phase CurrentPhase() const;
    int ProbesSeen() const;
    int BreaksSeen() const;
    std::vector<uint8_t> InitBytes() const;
    std::vector<uint8_t> SpeedCommand() const;
    std::vector<uint8_t> RawLinkBytes() const;   // every byte the host sent once linked
    std::vector<uint8_t> Received() const;       // data of every good host frame, in order
    std::vector<IrSimFrame> HostFrames() const;  // every good host frame
    int BadFrames() const;
    int HostTurns() const;  // final frames received from the host
    int SimTurns() const;   // final frames sent back
    size_t PendingToHost() const;

private:
    void TakeLinkByte(uint8_t b, std::vector<uint8_t>& reply);
    void EndFrame(std::vector<uint8_t>& reply);
    void TakeTurn(std::vector<uint8_t>& reply);

    mutable std::mutex mutex_;
    IrSimOptions options_;
    Phase phase_ = Phase::Probe;
    int probesSeen_ = 0;
    int probesIgnored_ = 0;
    int breaksSeen_ = 0;
    std::vector<uint8_t> init_;
    std::vector<uint8_t> speed_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> received_;
    std::vector<IrSimFrame> frames_;
    std::deque<uint8_t> toHost_;
    int badFrames_ = 0;
    int hostTurns_ = 0;
    int simTurns_ = 0;

    // Frame decoder state.
    bool inFrame_ = false;
    bool haveControl_ = false;
    bool escaped_ = false;
    bool frameBad_ = false;
    IrSimFrame frame_;
};

// Plays the transceiver behind a simulated device: sim.Register("ir") makes "sim://ir"
// open a device with this peer.
class IrSimPeer : public plat::SimPeer {
public:
    explicit IrSimPeer(IrTransceiverSim& sim) : sim_(sim) {}
    void OnHostWrite(plat::SimDevice& dev, std::span<const uint8_t> bytes) override;
    void OnBreak(plat::SimDevice&, bool on) override { sim_.OnBreak(on); }

private:
    IrTransceiverSim& sim_;
};

// Plays the transceiver on the master side of a pty from a thread of its own.
class IrSimPtyRunner : public PtyPeerRunner {
public:
    IrSimPtyRunner(int masterFd, IrTransceiverSim& sim)
        : PtyPeerRunner(masterFd,
                        [&sim](std::span<const uint8_t> in) { return sim.OnHostBytes(in); }) {}
};

}  // namespace tolvan::test
