#include "platform/sim_device.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <deque>
#include <map>

#include "platform/comm_device.h"
#include "platform/termios_compose.h"
#include "platform/ranked_mutex.h"

namespace tolvan::plat {

struct SimDevice::HostSide {
    mutable RankedMutex mutex{LockRank::kSimDevice};
    std::shared_ptr<SimPeer> peer;
    std::deque<uint8_t> rx;  // waiting for the host
    uint32_t rxCapacity = 65536;
    std::vector<uint8_t> heldTx;     // held back by HoldTransmit
    std::vector<uint8_t> collected;  // written while there is no peer
    bool hold = false;
    bool refuse = false;
    bool vanished = false;
    bool open = false;
    bool dtr = false, rts = false, brk = false;
    bool cts = false, dsr = false, ri = false, cd = false;
    uint32_t errors = 0;
    uint32_t breakCount = 0;
    Dcb settings{};
    // Readable exactly while rx holds bytes: a reader thread sleeps on it as on a tty.
    int arrivalFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    HostSide() = default;
    ~HostSide() {
        if (arrivalFd >= 0) close(arrivalFd);
    }
    HostSide(const HostSide&) = delete;
    HostSide& operator=(const HostSide&) = delete;

    // Called with the mutex held, after rx changed.
    void NoteRx(bool wasEmpty) {
        if (arrivalFd < 0) return;
        uint64_t value = 1;
        if (wasEmpty && !rx.empty()) {
            [[maybe_unused]] const ssize_t n = write(arrivalFd, &value, sizeof value);
        } else if (!wasEmpty && rx.empty()) {
            [[maybe_unused]] const ssize_t n = read(arrivalFd, &value, sizeof value);
        }
    }
};

namespace {

// Hands bytes the host wrote to the peer, or keeps them when there is none. Called
// without the mutex.
void Forward(SimDevice& dev, SimDevice::HostSide& h, std::vector<uint8_t> bytes) {
    if (bytes.empty()) return;
    std::shared_ptr<SimPeer> peer;
    {
        std::lock_guard lock(h.mutex);
        peer = h.peer;
        if (!peer) {
            h.collected.insert(h.collected.end(), bytes.begin(), bytes.end());
            return;
        }
    }
    peer->OnHostWrite(dev, bytes);
}

class LoopbackPeer final : public SimPeer {
public:
    void OnHostWrite(SimDevice& dev, std::span<const uint8_t> bytes) override {
        dev.DeliverToHost(bytes);
    }
    void OnLines(SimDevice& dev, bool dtr, bool rts) override {
        dev.SetCts(rts);
        dev.SetDsr(dtr);
    }
};

// The handle side of a simulated device.
class SimCommDevice final : public CommDevice {
public:
    explicit SimCommDevice(std::shared_ptr<SimDevice> dev) : dev_(std::move(dev)) {}
    ~SimCommDevice() override { Close(); }

    uint32_t Read(uint8_t* buf, uint32_t n, uint32_t* got) override {
        *got = 0;
        Poll();
        std::lock_guard lock(h().mutex);
        if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
        const bool wasEmpty = h().rx.empty();
        while (*got < n && !h().rx.empty()) {
            buf[(*got)++] = h().rx.front();
            h().rx.pop_front();
        }
        h().NoteRx(wasEmpty);
        return ERROR_SUCCESS;
    }

    uint32_t Write(const uint8_t* buf, uint32_t n, uint32_t* written) override {
        *written = 0;
        std::vector<uint8_t> out;
        {
            std::lock_guard lock(h().mutex);
            if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
            if (h().hold) {
                h().heldTx.insert(h().heldTx.end(), buf, buf + n);
            } else {
                out.assign(buf, buf + n);
            }
            *written = n;
        }
        Forward(*dev_, h(), std::move(out));
        return ERROR_SUCCESS;
    }

    uint32_t Query(uint32_t* errors, uint32_t* inQueue, uint32_t* outQueue) override {
        Poll();
        std::lock_guard lock(h().mutex);
        *errors = 0;
        *inQueue = 0;
        *outQueue = 0;
        if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
        *errors = h().errors;
        h().errors = 0;
        *inQueue = static_cast<uint32_t>(h().rx.size());
        *outQueue = static_cast<uint32_t>(h().heldTx.size());
        return ERROR_SUCCESS;
    }

    uint32_t ReadState(Dcb* dcb) override {
        std::lock_guard lock(h().mutex);
        *dcb = h().settings;
        return ERROR_SUCCESS;
    }

    uint32_t Apply(const Dcb& dcb) override {
        std::shared_ptr<SimPeer> peer;
        bool linesChanged = false;
        bool dtr = false, rts = false;
        {
            std::lock_guard lock(h().mutex);
            if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
            // Refuse what a real tty refuses.
            ComposedTermios composed;
            if (h().refuse || ComposeTermios(termios{}, dcb, &composed) != ERROR_SUCCESS)
                return ERROR_INVALID_PARAMETER;
            h().settings = dcb;
            const bool newDtr = dcb.fDtrControl != DTR_CONTROL_DISABLE;
            // A handshake keeps RTS up while the (never full) receive queue has room.
            const bool newRts =
                dcb.fRtsControl == RTS_CONTROL_ENABLE || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE;
            linesChanged = newDtr != h().dtr || newRts != h().rts;
            h().dtr = newDtr;
            h().rts = newRts;
            dtr = newDtr;
            rts = newRts;
            peer = h().peer;
        }
        if (peer) {
            peer->OnLineSettings(*dev_, dcb);
            if (linesChanged) peer->OnLines(*dev_, dtr, rts);
        }
        return ERROR_SUCCESS;
    }

    uint32_t SetLines(int dtr, int rts) override {
        std::shared_ptr<SimPeer> peer;
        bool changed = false;
        bool d = false, r = false;
        {
            std::lock_guard lock(h().mutex);
            if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
            const bool newDtr = dtr >= 0 ? dtr == 1 : h().dtr;
            const bool newRts = rts >= 0 ? rts == 1 : h().rts;
            changed = newDtr != h().dtr || newRts != h().rts;
            h().dtr = d = newDtr;
            h().rts = r = newRts;
            peer = h().peer;
        }
        if (peer && changed) peer->OnLines(*dev_, d, r);
        return ERROR_SUCCESS;
    }

    uint32_t SetBreak(bool on) override {
        std::shared_ptr<SimPeer> peer;
        bool changed = false;
        {
            std::lock_guard lock(h().mutex);
            if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
            changed = h().brk != on;
            if (changed && on) ++h().breakCount;
            h().brk = on;
            peer = h().peer;
        }
        if (peer && changed) peer->OnBreak(*dev_, on);
        return ERROR_SUCCESS;
    }

    uint32_t ModemStatus(uint32_t* ms) override {
        Poll();
        std::lock_guard lock(h().mutex);
        *ms = 0;
        if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
        if (h().cts) *ms |= MS_CTS_ON;
        if (h().dsr) *ms |= MS_DSR_ON;
        if (h().ri) *ms |= MS_RING_ON;
        if (h().cd) *ms |= MS_RLSD_ON;
        return ERROR_SUCCESS;
    }

    uint32_t Purge(bool rx, bool tx) override {
        std::lock_guard lock(h().mutex);
        if (h().vanished) return ERROR_DEVICE_NOT_CONNECTED;
        const bool wasEmpty = h().rx.empty();
        if (rx) h().rx.clear();
        h().NoteRx(wasEmpty);
        if (tx) h().heldTx.clear();
        return ERROR_SUCCESS;
    }

    uint32_t Flow(bool) override { return ERROR_SUCCESS; }

    int ArrivalFd() const override { return dev_ ? dev_->Host().arrivalFd : -1; }

    void Close() override {
        if (!dev_) return;
        std::shared_ptr<SimPeer> peer;
        {
            std::lock_guard lock(h().mutex);
            h().open = false;
            h().dtr = false;
            h().rts = false;
            h().brk = false;
            peer = h().peer;
        }
        if (peer) peer->OnClose(*dev_);
        dev_.reset();
    }

private:
    SimDevice::HostSide& h() { return dev_->Host(); }

    void Poll() {
        std::shared_ptr<SimPeer> peer;
        {
            std::lock_guard lock(h().mutex);
            peer = h().peer;
        }
        if (peer) peer->OnHostPoll(*dev_);
    }

    std::shared_ptr<SimDevice> dev_;
};

RankedMutex g_registryMutex{LockRank::kSimRegistry};
std::map<std::string, std::shared_ptr<SimDevice>> g_devices;
std::map<std::string, std::function<std::shared_ptr<SimDevice>()>> g_factories;
std::map<std::string, std::shared_ptr<SimDevice>> g_loops;

}  // namespace

SimDevice::SimDevice(std::string name) : name_(std::move(name)), host_(new HostSide) {}

SimDevice::~SimDevice() = default;

SimDevice::HostSide& SimDevice::Host() {
    return *host_;
}

void SimDevice::SetPeer(std::shared_ptr<SimPeer> peer) {
    std::lock_guard lock(host_->mutex);
    host_->peer = std::move(peer);
}

void SimDevice::DeliverToHost(std::span<const uint8_t> bytes) {
    std::lock_guard lock(host_->mutex);
    const bool wasEmpty = host_->rx.empty();
    for (uint8_t b : bytes) {
        if (host_->rx.size() >= host_->rxCapacity) {
            host_->errors |= CE_RXOVER;
            break;
        }
        host_->rx.push_back(b);
    }
    host_->NoteRx(wasEmpty);
}

void SimDevice::DeliverToHost(const std::string& text) {
    DeliverToHost(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> SimDevice::TakeHostWritten() {
    std::lock_guard lock(host_->mutex);
    std::vector<uint8_t> out;
    out.swap(host_->collected);
    return out;
}

void SimDevice::SetCts(bool on) {
    std::lock_guard l(host_->mutex);
    host_->cts = on;
}
void SimDevice::SetDsr(bool on) {
    std::lock_guard l(host_->mutex);
    host_->dsr = on;
}
void SimDevice::SetRi(bool on) {
    std::lock_guard l(host_->mutex);
    host_->ri = on;
}
void SimDevice::SetCd(bool on) {
    std::lock_guard l(host_->mutex);
    host_->cd = on;
}

void SimDevice::InjectErrors(uint32_t ceBits) {
    std::lock_guard lock(host_->mutex);
    host_->errors |= ceBits;
}

void SimDevice::HoldTransmit(bool hold) {
    std::vector<uint8_t> released;
    {
        std::lock_guard lock(host_->mutex);
        host_->hold = hold;
        if (!hold) released.swap(host_->heldTx);
    }
    Forward(*this, *host_, std::move(released));
}

void SimDevice::RefuseSettings(bool refuse) {
    std::lock_guard lock(host_->mutex);
    host_->refuse = refuse;
}

void SimDevice::Vanish() {
    std::lock_guard lock(host_->mutex);
    host_->vanished = true;
}

void SimDevice::SetRxCapacity(uint32_t bytes) {
    std::lock_guard lock(host_->mutex);
    host_->rxCapacity = bytes;
}

bool SimDevice::Dtr() const {
    std::lock_guard l(host_->mutex);
    return host_->dtr;
}
bool SimDevice::Rts() const {
    std::lock_guard l(host_->mutex);
    return host_->rts;
}
bool SimDevice::Break() const {
    std::lock_guard l(host_->mutex);
    return host_->brk;
}
bool SimDevice::IsOpen() const {
    std::lock_guard l(host_->mutex);
    return host_->open;
}
Dcb SimDevice::Settings() const {
    std::lock_guard l(host_->mutex);
    return host_->settings;
}
uint32_t SimDevice::BreakCount() const {
    std::lock_guard l(host_->mutex);
    return host_->breakCount;
}
uint32_t SimDevice::HostQueuedRx() const {
    std::lock_guard l(host_->mutex);
    return static_cast<uint32_t>(host_->rx.size());
}
uint32_t SimDevice::HostQueuedTx() const {
    std::lock_guard l(host_->mutex);
    return static_cast<uint32_t>(host_->heldTx.size());
}

void RegisterSimDevice(const std::string& name, std::shared_ptr<SimDevice> device) {
    std::lock_guard lock(g_registryMutex);
    g_devices[name] = std::move(device);
}

void RegisterSimDeviceFactory(const std::string& name,
                              std::function<std::shared_ptr<SimDevice>()> factory) {
    std::lock_guard lock(g_registryMutex);
    g_factories[name] = std::move(factory);
}

void UnregisterSimDevice(const std::string& name) {
    std::lock_guard lock(g_registryMutex);
    g_devices.erase(name);
    g_factories.erase(name);
}

std::shared_ptr<SimDevice> FindSimDevice(const std::string& name) {
    std::function<std::shared_ptr<SimDevice>()> factory;
    {
        std::lock_guard lock(g_registryMutex);
        auto it = g_devices.find(name);
        if (it != g_devices.end()) return it->second;
        auto f = g_factories.find(name);
        if (f == g_factories.end()) return nullptr;
        factory = f->second;
    }
    // The factory runs unlocked: it may register things itself.
    auto dev = factory();
    if (!dev) return nullptr;
    std::lock_guard lock(g_registryMutex);
    auto [it, inserted] = g_devices.emplace(name, dev);
    return it->second;
}

std::shared_ptr<SimDevice> LoopDevice(const std::string& name) {
    std::lock_guard lock(g_registryMutex);
    auto& slot = g_loops[name];
    if (!slot) {
        slot = std::make_shared<SimDevice>("loop://" + name);
        slot->SetPeer(std::make_shared<LoopbackPeer>());
    }
    return slot;
}

std::unique_ptr<CommDevice> OpenSimulatedDevice(const std::string& url, uint32_t* error) {
    std::shared_ptr<SimDevice> dev;
    if (url.rfind("loop://", 0) == 0) {
        dev = LoopDevice(url.substr(7));
    } else if (url.rfind("sim://", 0) == 0) {
        dev = FindSimDevice(url.substr(6));
    }
    if (!dev) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::shared_ptr<SimPeer> peer;
    bool dtr = false, rts = false;
    {
        SimDevice::HostSide& h = dev->Host();
        std::lock_guard lock(h.mutex);
        if (h.vanished) {
            *error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        if (h.open) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        h.open = true;
        const bool wasEmpty = h.rx.empty();
        h.rx.clear();
        h.NoteRx(wasEmpty);
        h.heldTx.clear();
        h.errors = 0;
        dtr = h.dtr = h.settings.fDtrControl != DTR_CONTROL_DISABLE;
        rts = h.rts = h.settings.fRtsControl != RTS_CONTROL_DISABLE;
        peer = h.peer;
    }
    if (peer) {
        peer->OnOpen(*dev);
        peer->OnLines(*dev, dtr, rts);
    }
    *error = ERROR_SUCCESS;
    return std::make_unique<SimCommDevice>(std::move(dev));
}

}  // namespace tolvan::plat
