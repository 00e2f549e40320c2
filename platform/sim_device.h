// Simulated serial devices, opened as "sim://<name>": modem lines, break, injectable line
// errors, and a pluggable peer that plays the other end of the wire (a modem, an
// infra-red transceiver, ...). "loop://..." devices are simulated devices whose peer
// sends every byte straight back and loops RTS to CTS and DTR to DSR.
//
// Threading: every member may be called from any thread. Peer callbacks run on the
// thread of the host call that caused them, without any device mutex held, so a peer may
// call DeliverToHost and the line setters from inside them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/comm_types.h"

namespace tolvan::plat {

class SimDevice;

// The other side of the wire.
class SimPeer {
public:
    virtual ~SimPeer() = default;
    // The host opened / closed the device.
    virtual void OnOpen(SimDevice&) {}
    virtual void OnClose(SimDevice&) {}
    // Bytes the host wrote; they are on the wire now.
    virtual void OnHostWrite(SimDevice& dev, std::span<const uint8_t> bytes) = 0;
    // DTR or RTS changed (called with both current values).
    virtual void OnLines(SimDevice&, bool /*dtr*/, bool /*rts*/) {}
    virtual void OnBreak(SimDevice&, bool /*on*/) {}
    // The host applied a line setting.
    virtual void OnLineSettings(SimDevice&, const Dcb&) {}
    // The host looks at the device (read, queue query): a chance for timed answers.
    virtual void OnHostPoll(SimDevice&) {}
};

class SimDevice {
public:
    explicit SimDevice(std::string name = {});
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    const std::string& Name() const { return name_; }
    void SetPeer(std::shared_ptr<SimPeer> peer);

    // --- the peer's side ---
    // Bytes arriving at the host (bytes beyond the receive capacity are dropped and flag
    // CE_RXOVER).
    void DeliverToHost(std::span<const uint8_t> bytes);
    void DeliverToHost(const std::string& text);
    // Without a peer, what the host wrote collects here.
    std::vector<uint8_t> TakeHostWritten();
    void SetCts(bool on);
    void SetDsr(bool on);
    void SetRi(bool on);
    void SetCd(bool on);
    // ORs CE_* bits into the errors the host's next ClearCommError reports.
    void InjectErrors(uint32_t ceBits);
    // While held, host writes stay in the transmit queue (as if flow control stopped them).
    void HoldTransmit(bool hold);
    // The next SetCommState calls fail with ERROR_INVALID_PARAMETER while set.
    void RefuseSettings(bool refuse);
    // Makes the device go away: the open handle's calls fail with
    // ERROR_DEVICE_NOT_CONNECTED, new opens with ERROR_FILE_NOT_FOUND.
    void Vanish();
    void SetRxCapacity(uint32_t bytes);  // default 65536

    // --- what the host did ---
    bool Dtr() const;
    bool Rts() const;
    bool Break() const;
    bool IsOpen() const;
    Dcb Settings() const;           // the last Dcb the host applied
    uint32_t BreakCount() const;    // how many times break was set
    uint32_t HostQueuedRx() const;  // bytes waiting for the host to read
    uint32_t HostQueuedTx() const;  // written bytes held back by HoldTransmit

    // --- used by the serial API (not for tests) ---
    struct HostSide;
    HostSide& Host();

private:
    std::string name_;
    std::unique_ptr<HostSide> host_;
};

// Makes "sim://<name>" open this device. Re-registering replaces the entry.
void RegisterSimDevice(const std::string& name, std::shared_ptr<SimDevice> device);
// Makes "sim://<name>" create its device on first open (and keep it registered).
void RegisterSimDeviceFactory(const std::string& name,
                              std::function<std::shared_ptr<SimDevice>()> factory);
void UnregisterSimDevice(const std::string& name);
std::shared_ptr<SimDevice> FindSimDevice(const std::string& name);
// The loopback device behind "loop://<name>" (created on first use).
std::shared_ptr<SimDevice> LoopDevice(const std::string& name);

}  // namespace tolvan::plat
