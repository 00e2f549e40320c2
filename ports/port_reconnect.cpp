// The shared port's part in a device that goes away and comes back: the loss state, its
// observers and the reopening at the same path (the rest of the port is ports/shared_port.cpp).
#include <algorithm>
#include <utility>

#include "platform/comm_types.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "ports/serial_driver.h"
#include "ports/shared_port.h"
#include "ports/status_text.h"

namespace tolvan {

namespace {

// Guarded by the server lock.
struct Observers {
    int nextId = 1;
    std::vector<std::pair<int, CSharedPort::DeviceObserver>> list;
};

Observers& TheObservers() {
    static Observers observers;
    return observers;
}

bool IsUrl(const std::string& target) {
    return target.find("://") != std::string::npos;
}

}  // namespace

int CSharedPort::AddDeviceObserver(DeviceObserver observer) {
    plat::ServerLockGuard guard;
    Observers& o = TheObservers();
    const int id = o.nextId++;
    o.list.emplace_back(id, std::move(observer));
    return id;
}

void CSharedPort::RemoveDeviceObserver(int id) {
    plat::ServerLockGuard guard;
    auto& list = TheObservers().list;
    list.erase(
        std::remove_if(list.begin(), list.end(), [id](const auto& o) { return o.first == id; }),
        list.end());
}

void CSharedPort::NotifyDevice(DeviceEvent event) {
    // The port's stream reader sleeps on the device: it looks again (ports/receive_tap.h).
    if (tap_) tap_->Changed();
    // So do waiting reads: the descriptor, or whether there is one, may have changed.
    arrivals_.WakeAll();
    // A copy: an observer may add or remove observers.
    const auto list = TheObservers().list;
    for (const auto& [id, observer] : list) observer(*this, event);
}

bool CSharedPort::DeviceLost() const {
    plat::ServerLockGuard guard;
    return portObject_ != nullptr && goneAnnounced_;
}

bool CSharedPort::CheckDevice() {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return false;
    if (!goneAnnounced_ && DeviceGone()) {
        // The loss is the port's error as a failing read would have left it.
        if (p->status == kStatusSuccess)
            p->status = StatusFromSystemError(plat::ERROR_DEVICE_NOT_CONNECTED);
        NoteFailure();
    }
    return goneAnnounced_;
}

std::string CSharedPort::ReopenablePath() const {
    plat::ServerLockGuard guard;
    SerialDriverRecord* rec = SerialRecord(portObject_);
    if (rec == nullptr || rec->handle == plat::kInvalidCommHandle) return {};
    std::string target = plat::CommTarget(rec->handle);
    return IsUrl(target) ? std::string() : target;
}

int CSharedPort::Reconnect() {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return kStatusNotSetUp;
    if (!goneAnnounced_) return kStatusSuccess;
    SerialDriverRecord* rec = SerialRecord(p);
    if (rec == nullptr || ReopenablePath().empty()) return kStatusNotSupported;
    if (!plat::ReopenComm(rec->handle)) {
        const uint32_t error = plat::GetLastError();
        return error == plat::ERROR_INVALID_FUNCTION ? kStatusNotSupported
                                                     : StatusFromSystemError(error);
    }
    // The block as the driver last composed it: settings, flow control or lines a client
    // changed while the device was away take effect now (a block the device refuses
    // leaves the one ReopenComm applied).
    plat::SetCommState(rec->handle, rec->dcb);
    // Line errors of the old device are not the new one's. The loss stays the port's
    // status until a client clears it or the next operation starts afresh.
    rec->errors = 0;
    goneAnnounced_ = false;
    const std::vector<PortClient*> channels = channels_;
    for (PortClient* c : channels) c->UpdateAllViews(kHintDeviceBack);
    NotifyDevice(DeviceEvent::kBack);
    return kStatusSuccess;
}

}  // namespace tolvan
