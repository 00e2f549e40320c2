#include "ports/port_registry.h"

#include <string>

#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "ports/status_text.h"

namespace tolvan {

PortRegistry::~PortRegistry() {
    EndProbe();
    plat::ServerLockGuard guard;
    ports_.clear();
}

int PortRegistry::ProbePorts() {
    plat::ServerLockGuard guard;
    for (int32_t com = kFirstCom; com <= kLastCom; ++com) ProbePort(com);
    for (const auto& [com, target] : plat::DeviceMap::Entries())
        if (com > kLastCom) ProbePort(com);
    return static_cast<int>(ports_.size());
}

void PortRegistry::StartProbe(std::function<void()> ended) {
    EndProbe();
    {
        plat::ServerLockGuard guard;
        probing_ = true;
    }
    probe_ = std::thread([this, ended = std::move(ended)] {
        ProbePorts();
        {
            plat::ServerLockGuard guard;
            probing_ = false;
            probed_.NotifyAll();
        }
        if (ended) ended();
    });
}

bool PortRegistry::Probing() const {
    plat::ServerLockGuard guard;
    return probing_;
}

void PortRegistry::WaitForProbe() {
    plat::ServerLockGuard guard;
    probed_.Wait([&] { return !probing_; }, plat::LockRelease::kStartupProbe);
}

void PortRegistry::EndProbe() {
    if (!probe_.joinable()) return;
    // The probe takes the server lock for each port it keeps.
    plat::ServerUnlockScope unlocked;
    probe_.join();
}

CSharedPort* PortRegistry::ProbePort(int32_t comNumber) {
    plat::ServerLockGuard guard;
    if (CSharedPort* kept = FindPort(comNumber)) return kept;
    bool present;
    {
        // Opening a device may take long (a radio link, a busy driver): nobody waits for it.
        plat::ServerUnlockScope unlocked(plat::LockRelease::kPortProbe);
        // One try at a time: the start-up probe and the device watcher trying the same
        // device at once would each find it held by the other, and neither keep it.
        std::lock_guard trying(trying_);
        present = plat::CommPresent("COM" + std::to_string(comNumber));
    }
    // The probe on another thread may have kept the number meanwhile.
    if (CSharedPort* kept = FindPort(comNumber)) return kept;
    if (!present) return nullptr;
    ports_.push_back(std::make_unique<CSharedPort>(comNumber, defaults_));
    probed_.NotifyAll();  // a connect waiting for this number
    return ports_.back().get();
}

CSharedPort* PortRegistry::FindPort(int32_t comNumber) const {
    for (const auto& port : ports_) {
        if (port->PortNumber() == comNumber) return port.get();
    }
    return nullptr;
}

int PortRegistry::ConnectChannel(PortClient* channel, int32_t comNumber, int32_t baud,
                                 int16_t parity, int16_t wordLength, int16_t stopBits) {
    plat::ServerLockGuard guard;
    if (channel == nullptr) return kStatusInvalidPort;
    CSharedPort* port = FindPort(comNumber);
    if (port == nullptr) {
        probed_.Wait([&] { return !probing_ || FindPort(comNumber) != nullptr; },
                     plat::LockRelease::kStartupProbe);
        port = FindPort(comNumber);
    }
    if (port == nullptr) return kStatusInvalidPort;
    // Opening lets the lock go; a connect that found the port opening takes it as open.
    bool openedHere = false;
    if (int status = port->Open(baud, parity, wordLength, stopBits, &openedHere); status != 0)
        return status;
    const bool wasOpen = !openedHere;
    port->Attach(channel);
    channel->RefreshTitle();
    const int result = wasOpen ? port->Reconfigure(baud, parity, wordLength, stopBits) : 0;
    channel->UpdateAllViews(0);
    return result;
}

bool PortRegistry::SetDefaultSizes(uint32_t rxSize, uint32_t txSize) {
    plat::ServerLockGuard guard;
    if (IsValidRingSize(rxSize)) defaults_.rx = rxSize;
    if (IsValidRingSize(txSize)) defaults_.tx = txSize;
    return IsValidRingSize(rxSize) && IsValidRingSize(txSize);
}

bool PortRegistry::NeedsIdleService() const {
    plat::ServerLockGuard guard;
    for (const auto& port : ports_) {
        if (port->NeedsIdleService()) return true;
    }
    return false;
}

void PortRegistry::IdleService() {
    plat::ServerLockGuard guard;
    // A port's idle service lets the lock go while it waits, and a port found meanwhile
    // (ProbePort on the watcher thread) may grow the list under us: index, never iterate.
    for (size_t i = 0; i < ports_.size(); ++i) ports_[i]->IdleService();
}

}  // namespace tolvan
