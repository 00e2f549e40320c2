// The shared ports of the machine, one for each of COM1..COM8 (and each higher number the
// device map holds) that could be opened at start-up or was found later, and the default
// ring sizes every port opens with. The application owns one registry; channels connect
// through it. Ports are added while running (ProbePort) but never removed: a port whose
// device went away stays, with its number.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/server_condition.h"

#include "ports/port_client.h"
#include "ports/shared_port.h"

namespace tolvan {

class PortRegistry {
public:
    static constexpr int32_t kFirstCom = 1;
    static constexpr int32_t kLastCom = 8;

    PortRegistry() = default;
    // Waits for a start-up probe still running, then deletes every shared port, which
    // closes any port still open.
    ~PortRegistry();
    PortRegistry(const PortRegistry&) = delete;
    PortRegistry& operator=(const PortRegistry&) = delete;

    // Tries COM1..COM8 in order through the device map (exclusive open, closed at once; a
    // port served over the network counts when its address is well formed, without a
    // connect) and keeps a shared port for each that is there. Numbers already kept are
    // not probed again.
    // Numbers above COM8 that the device map holds are tried as well.
    // Returns how many ports the registry holds.
    int ProbePorts();
    // ProbePorts on a thread of its own, so that a device slow to open holds up no window:
    // returns at once. A connect meanwhile to a number not yet found waits for the probe.
    // `ended` runs on the probe's thread when it has ended (without the server lock).
    void StartProbe(std::function<void()> ended = {});
    // True while the start-up probe runs.
    bool Probing() const;
    // Until the start-up probe has ended (the server lock let go meanwhile): for callers
    // that list the ports.
    void WaitForProbe();
    // Keeps a shared port for one COM number when its device is there now and none is kept
    // yet: for devices found while running. The port (the one kept already, if any), or null.
    // The device is tried with the server lock let go (kPortProbe).
    CSharedPort* ProbePort(int32_t comNumber);
    // The shared port of a COM number, or null.
    CSharedPort* FindPort(int32_t comNumber) const;
    const std::vector<std::unique_ptr<CSharedPort>>& Ports() const { return ports_; }

    // Finds the port (after the start-up probe, if it still runs; -2 when there is none),
    // opens it if closed (its status on failure),
    // attaches the channel and rebuilds its title; a port that was open already takes the
    // new line settings for every channel (the result is that status, else 0). The
    // channel's views get hint 0.
    int ConnectChannel(PortClient* channel, int32_t comNumber, int32_t baud, int16_t parity,
                       int16_t wordLength, int16_t stopBits);

    // The sizes ports open with from now on (ports already open keep theirs). A size of 0
    // or above 2^31 - 1 is refused and the old one kept; false when any was refused.
    bool SetDefaultSizes(uint32_t rxSize, uint32_t txSize);
    const RingSizes& DefaultSizes() const { return defaults_; }

    // True while some port runs an infra-red link: the application drives IdleService from
    // a timer only then.
    bool NeedsIdleService() const;
    // IdleService of every open port.
    void IdleService();

private:
    void EndProbe();

    RingSizes defaults_;
    std::vector<std::unique_ptr<CSharedPort>> ports_;
    // Guarded by the server lock.
    bool probing_ = false;
    plat::ServerCondition probed_;
    std::thread probe_;
    // Held while a device is tried, never with the server lock.
    std::mutex trying_;
};

}  // namespace tolvan
