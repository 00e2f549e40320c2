#include "ports/shared_port.h"

#include <poll.h>

#include <algorithm>
#include <system_error>
#include <limits>

#include "platform/comm_device.h"
#include "platform/comm_types.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "ports/ir_driver.h"
#include "ports/serial_driver.h"
#include "ports/status_text.h"

namespace tolvan {

namespace {

constexpr uint32_t kRingFlags = plat::GMEM_MOVEABLE | plat::GMEM_ZEROINIT;

bool IsInfraRedMode(int16_t parity) {
    return parity == 0 || parity == 1;
}

// The platform handle under a port object of either driver; invalid for any other.
plat::CommHandle DeviceHandle(PortObject* p) {
    if (p == nullptr) return plat::kInvalidCommHandle;
    if (const SerialDriverRecord* serial = SerialRecord(p)) return serial->handle;
    if (const IrLinkRecord* link = IrLink(p)) return link->handle;
    return plat::kInvalidCommHandle;
}

// A port whose device is a connection to a network peer. Opening it once more connects a
// second time: the peer sees a connect, a hang-up and a connect again, and the second
// connect waits for the first to finish closing.
bool OnNetwork(int32_t portIndex, plat::CommHandle handle) {
    if (handle != plat::kInvalidCommHandle) return plat::IsNetworkUrl(plat::CommTarget(handle));
    const auto target = plat::DeviceMap::Lookup(portIndex + 1);
    return target.has_value() && plat::IsNetworkUrl(*target);
}

// A driver count as far as it can be believed: never negative, never more than asked.
uint32_t Moved(const PortObject* p, uint32_t asked) {
    return p->count <= 0 ? 0 : std::min(static_cast<uint32_t>(p->count), asked);
}

}  // namespace

bool IsValidRingSize(uint32_t size) {
    return size > 0 && size <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
}

CSharedPort::CSharedPort(int32_t portNumber, const RingSizes& defaults)
    : portNumber_(portNumber), defaults_(defaults) {}

CSharedPort::~CSharedPort() {
    std::thread drainer;
    {
        plat::ServerLockGuard guard;
        stopping_ = true;
        drainer = std::move(txDrainer_);
    }
    if (drainer.joinable()) {
        // The drainer takes the lock between its rounds; whoever deletes the port may hold it.
        plat::ServerUnlockScope unlocked;
        drainer.join();
    }
    plat::ServerLockGuard guard;
    tap_.reset();
    FreeRings();
    ClosePortObject();
    channels_.clear();
    lockOwner_ = nullptr;
    lockCount_ = 0;
}

void CSharedPort::ClosePortObject() {
    if (portObject_ == nullptr) return;
    PortObject* p = portObject_;
    portObject_ = nullptr;
    p->ops.Close(p);
    goneAnnounced_ = false;
    NotifyDevice(DeviceEvent::kClosed);
}

void CSharedPort::FreeRings() {
    if (rxMemory_ != 0) plat::GlobalFree(rxMemory_);
    if (txMemory_ != 0) plat::GlobalFree(txMemory_);
    rxMemory_ = txMemory_ = 0;
}

int CSharedPort::AllocateRings() {
    if (!IsValidRingSize(defaults_.rx) || !IsValidRingSize(defaults_.tx))
        return kStatusInvalidBufferSize;
    rxSize_ = defaults_.rx;
    txSize_ = defaults_.tx;
    rxMemory_ = plat::GlobalAlloc(kRingFlags, rxSize_);
    txMemory_ = plat::GlobalAlloc(kRingFlags, txSize_);
    if (rxMemory_ == 0 || txMemory_ == 0) {
        if (rxMemory_ == 0) rxSize_ = 0;
        if (txMemory_ == 0) txSize_ = 0;
        FreeRings();
        return kStatusNoMemory;
    }
    // The rings may differ in size from the last time the port was open; positions from
    // then could lie beyond the new ends.
    rxPosition_ = txPosition_ = 0;
    return kStatusSuccess;
}

int CSharedPort::OpenSerial(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits) {
    PortObject* p = OpenWin32Port(portNumber_ - 1, baud, parity, wordLength, stopBits);
    SerialDriverRecord* rec = SerialRecord(p);
    if (rec == nullptr) {
        const int status = p->status;
        p->ops.Close(p);
        return status;
    }
    // Whatever the driver's own open achieved, the port runs on a fresh plain handle. A
    // network connection is not made twice: the driver's handle is kept, put back as a fresh
    // open leaves it (its event mask and time-outs; the block is composed anew below), and a
    // connect that failed is not tried again.
    if (OnNetwork(portNumber_ - 1, rec->handle)) {
        if (rec->handle != plat::kInvalidCommHandle) {
            plat::SetCommMask(rec->handle, rec->savedEventMask);
            plat::SetCommTimeouts(rec->handle, rec->savedTimeouts);
        }
    } else {
        if (rec->handle != plat::kInvalidCommHandle) plat::CloseComm(rec->handle);
        rec->handle = plat::OpenComm(Win32DeviceName(portNumber_ - 1), false);
    }
    p->status = kStatusSuccess;
    if (rec->handle == plat::kInvalidCommHandle) {
        p->ops.Close(p);
        return kStatusInvalidPort;
    }
    plat::SetupComm(rec->handle, rec->rxQueueSize, rec->txQueueSize);
    plat::GetCommState(rec->handle, &rec->dcb);
    plat::Dcb& dcb = rec->dcb;
    dcb.fBinary = true;
    dcb.fParity = true;
    dcb.fNull = false;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = plat::DTR_CONTROL_ENABLE;
    dcb.fRtsControl = plat::RTS_CONTROL_ENABLE;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.XonLim = static_cast<uint16_t>(rec->rxQueueSize / 4);
    dcb.XoffLim = static_cast<uint16_t>(rec->rxQueueSize / 4);
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    // A driver whose own open failed still has the default table: this answers -24.
    p->ops.SetLine(p, baud, parity, wordLength, stopBits);
    portObject_ = p;
    return kStatusSuccess;
}

CSharedPort::InUse::InUse(CSharedPort& port) : port_(port) {
    ++port_.inUse_;
}

CSharedPort::InUse::~InUse() {
    if (--port_.inUse_ > 0 || !port_.closeWhenUnused_) return;
    port_.closeWhenUnused_ = false;
    // A channel may have come meanwhile and keeps the port.
    if (port_.channels_.empty()) port_.CloseWhenUnused();
}

void CSharedPort::CloseWhenUnused() {
    if (inUse_ > 0) {
        closeWhenUnused_ = true;
        return;
    }
    ClosePortObject();
    FreeRings();
}

int CSharedPort::Open(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits,
                      bool* openedHere) {
    plat::ServerLockGuard guard;
    if (openedHere != nullptr) *openedHere = false;
    // Another connect is opening the port and has let the lock go: one device, one port
    // object, one pair of rings - wait for its result.
    openEnded_.Wait([&] { return !opening_; }, plat::LockRelease::kPortOpening);
    if (portObject_ != nullptr) return kStatusSuccess;
    opening_ = true;
    const int status = OpenPort(baud, parity, wordLength, stopBits);
    opening_ = false;
    openEnded_.NotifyAll();
    if (openedHere != nullptr) *openedHere = status == kStatusSuccess;
    return status;
}

int CSharedPort::OpenPort(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits) {
    goneAnnounced_ = false;
    SetDefaultQueueSizes(defaults_.rx, defaults_.tx);
    if (IsInfraRedMode(parity)) {
        portObject_ = OpenIrPort(portNumber_ - 1, baud, parity);
        if (portObject_ == nullptr) return kStatusInvalidPort;
    } else {
        const int status = OpenSerial(baud, parity, wordLength, stopBits);
        if (status != kStatusSuccess) return status;
    }
    if (portObject_->status != kStatusSuccess) {
        const int status = portObject_->status;
        ClosePortObject();
        return status;
    }
    const int rings = AllocateRings();
    if (rings != kStatusSuccess) {
        ClosePortObject();
        return rings;
    }
    NotifyDevice(DeviceEvent::kOpened);
    return kStatusSuccess;
}

int CSharedPort::Reconfigure(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits) {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return kStatusNotSetUp;
    InUse use(*this);
    p->ops.ClearStatus(p);
    p->ops.SetLine(p, baud, parity, wordLength, stopBits);
    if (p->status == kStatusSuccess) {
        for (PortClient* c : channels_) c->RefreshTitle();
    }
    return p->status;
}

int CSharedPort::ApplyFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff) {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return kStatusNotSetUp;
    if (int r = p->ops.UseDtrDsr(p, dtrDsr); r != 0) return r;
    if (int r = p->ops.UseRtsCts(p, rtsCts); r != 0) return r;
    return p->ops.UseXonXoff(p, xonXoff);
}

int CSharedPort::SetDtr(bool on) {
    plat::ServerLockGuard guard;
    if (portObject_ == nullptr) return kStatusNotSetUp;
    return portObject_->ops.SetDtr(portObject_, on);
}

int CSharedPort::SetRts(bool on) {
    plat::ServerLockGuard guard;
    if (portObject_ == nullptr) return kStatusNotSetUp;
    return portObject_->ops.SetRts(portObject_, on);
}

void CSharedPort::Attach(PortClient* channel) {
    if (channel == nullptr) return;
    plat::ServerLockGuard guard;
    channels_.push_back(channel);
    channel->SetPort(this);
    AlignTransmitViews();
}

void CSharedPort::Detach(PortClient* channel) {
    plat::ServerLockGuard guard;
    auto it = std::find(channels_.begin(), channels_.end(), channel);
    if (it == channels_.end()) return;
    channels_.erase(it);
    while (UnlockFor(channel) != 0) {}
    if (channels_.empty()) CloseWhenUnused();
    if (tap_) tap_->Changed();
    // A read of the channel that left may be waiting: it ends now.
    arrivals_.WakeAll();
}

int CSharedPort::LockFor(PortClient* channel) {
    plat::ServerLockGuard guard;
    if (channel == nullptr) return 0;
    if (lockOwner_ != nullptr && lockOwner_ != channel) return 0;
    lockOwner_ = channel;
    ++lockCount_;
    return 1;
}

int CSharedPort::UnlockFor(PortClient* channel) {
    plat::ServerLockGuard guard;
    if (channel == nullptr || lockOwner_ != channel) return 0;
    if (--lockCount_ <= 0) {
        lockCount_ = 0;
        lockOwner_ = nullptr;
        // Streams of other channels hold their writes back while the lock is taken.
        if (tap_) tap_->Changed();
    }
    return lockCount_;
}

bool CSharedPort::IsLockedByOther(const PortClient* channel) const {
    plat::ServerLockGuard guard;
    return portObject_ != nullptr && lockOwner_ != nullptr && lockOwner_ != channel;
}

int CSharedPort::PollReceive() {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return kStatusNotSetUp;
    if (goneAnnounced_) return p->status;  // the loss stays reported; nothing to read
    // A lossless stream that is full: the bytes wait in the device.
    if (tap_ && tap_->HoldReceive()) return kStatusSuccess;
    p->ops.ClearStatus(p);
    const int queued = p->ops.RxUsed(p);
    if (queued <= 0) {
        if (p->status != 0) NoteFailure();
        return p->status != 0 ? p->status : std::min(queued, 0);
    }
    // One ring's worth at a time: more would overwrite itself within this call, while the
    // device queue keeps it safe until the channels have read.
    const uint32_t n = std::min(static_cast<uint32_t>(queued), rxSize_);

    auto* ring = static_cast<uint8_t*>(plat::GlobalLock(rxMemory_));
    if (ring == nullptr) {
        p->status = kStatusGeneralError;
        return kStatusGeneralError;
    }
    if (p->status != 0) {
        plat::GlobalUnlock(rxMemory_);
        return p->status;
    }
    const uint32_t room = rxSize_ - rxPosition_;
    const uint32_t first = std::min(n, room);
    int result = kStatusSuccess;
    uint32_t got = 0;
    if (first > 0) {
        p->count = 0;  // a driver that fails may leave it untouched
        result = p->ops.ReadBuffer(p, ring + rxPosition_, static_cast<int32_t>(first));
        got = Moved(p, first);
    }
    // Wrap to the start only when the end of the ring was filled: a gap would leave the
    // channels' write positions out of step with the bytes.
    if (n > room && result == kStatusSuccess && got == room) {
        const uint32_t rest = n - room;
        p->count = 0;
        result = p->ops.ReadBuffer(p, ring, static_cast<int32_t>(rest));
        const uint32_t more = Moved(p, rest);
        rxPosition_ = more;
        got += more;
    } else {
        rxPosition_ += got;
    }
    plat::GlobalUnlock(rxMemory_);
    if (got > 0) {
        for (PortClient* c : channels_) {
            if (RingView* v = c->ReceiveView()) v->Received(got);
        }
        if (tap_) tap_->Received(got);
        arrivals_.WakeAll();
    }
    return result;
}

void CSharedPort::AlignTransmitViews() {
    if (txSize_ == 0 || txMemory_ == 0) return;
    const uint32_t start = txPosition_ % txSize_;
    uint64_t end = 0;
    for (PortClient* c : channels_) {
        const RingView* v = c->TransmitView();
        if (v == nullptr) continue;
        // A view that cleared itself starts further on; its pending data ends the same way.
        const uint64_t ahead = (uint64_t{v->ReadIndex()} + txSize_ - start) % txSize_;
        end = std::max(end, std::min<uint64_t>(ahead + v->Count(), txSize_));
    }
    for (PortClient* c : channels_) {
        if (RingView* v = c->TransmitView()) v->Follow(start, static_cast<uint32_t>(end));
    }
}

bool CSharedPort::DeviceAccepts() {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr || goneAnnounced_) return false;
    p->ops.ClearStatus(p);
    if (p->ops.TxFree(p) >= 0) return true;
    NoteFailure();
    return false;
}

std::string CSharedPort::DeviceTarget() const {
    plat::ServerLockGuard guard;
    const plat::CommHandle h = DeviceHandle(portObject_);
    return h != plat::kInvalidCommHandle ? plat::CommTarget(h) : std::string();
}

bool CSharedPort::DeviceGone() const {
    plat::ServerLockGuard guard;
    const plat::CommHandle h = DeviceHandle(portObject_);
    return h != plat::kInvalidCommHandle && plat::CommDeviceGone(h);
}

void CSharedPort::NoteFailure() {
    if (goneAnnounced_ || !DeviceGone()) return;
    goneAnnounced_ = true;
    for (PortClient* c : channels_) c->UpdateAllViews(kHintDeviceGone);
    NotifyDevice(DeviceEvent::kLost);
}

int CSharedPort::ArrivalFd() const {
    plat::ServerLockGuard guard;
    const plat::CommHandle h = DeviceHandle(portObject_);
    return h != plat::kInvalidCommHandle && SerialRecord(portObject_) != nullptr
               ? plat::CommArrivalFd(h)
               : -1;
}

void CSharedPort::SetTap(std::unique_ptr<ReceiveTap> tap) {
    plat::ServerLockGuard guard;
    tap_ = std::move(tap);
}

plat::WaitTarget CSharedPort::ReceiveWaitTarget() {
    plat::ServerLockGuard guard;
    plat::WaitTarget target;
    target.wakes = &arrivals_;
    // Bytes held back for a full lossless stream keep the device readable: the stream's
    // reader takes them when it can, and that wakes the waiters.
    if (!goneAnnounced_ && !(tap_ && tap_->HoldReceive())) target.fd = ArrivalFd();
    return target;
}

int CSharedPort::ReceiveWaitFd() const {
    plat::ServerLockGuard guard;
    SerialDriverRecord* serial = portObject_ != nullptr ? SerialRecord(portObject_) : nullptr;
    return serial != nullptr ? plat::CommPollFd(serial->handle) : -1;
}

int CSharedPort::PushTransmit(uint32_t pending) {
    plat::ServerLockGuard guard;
    const int result = PushPending(pending);
    if (PendingTransmit() > 0) StartTransmitDrainer();
    return result;
}

uint32_t CSharedPort::PendingTransmit() const {
    plat::ServerLockGuard guard;
    if (portObject_ == nullptr) return 0;
    // Every transmit view ends where all pending data ends (AlignTransmitViews).
    uint32_t pending = 0;
    for (PortClient* c : channels_) {
        if (const RingView* v = c->TransmitView()) pending = std::max(pending, v->Count());
    }
    return pending;
}

void CSharedPort::StartTransmitDrainer() {
    if (txDraining_ || stopping_ || SerialRecord(portObject_) == nullptr) return;
    // A drainer that ended has let go of the lock for good: joining it cannot wait on us.
    if (txDrainer_.joinable()) txDrainer_.join();
    txDraining_ = true;
    try {
        txDrainer_ = std::thread([this] { DrainTransmit(); });
    } catch (const std::system_error&) {
        txDraining_ = false;  // the next push or query moves the bytes instead
    }
}

namespace {

// A drainer's longest sleep between two looks, and its pause after a look at which the
// device took nothing (it may poll writable while its queue is still full).
constexpr int kTxDrainRoundMs = 20;

void WaitWritable(int fd, int ms) {
    pollfd p{fd, POLLOUT, 0};
    ::poll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, ms);
}

}  // namespace

void CSharedPort::DrainTransmit() {
    plat::ServerLockGuard guard;
    bool moved = true;
    for (;;) {
        // Re-read after every round: channels write and leave, the port may close.
        // A device that went away takes nothing more; the first write after its return
        // starts a new drainer.
        if (stopping_ || portObject_ == nullptr || goneAnnounced_) break;
        const uint32_t pending = PendingTransmit();
        if (pending == 0) break;
        const SerialDriverRecord* rec = SerialRecord(portObject_);
        const int fd = rec != nullptr ? plat::CommPollFd(rec->handle) : -1;
        {
            plat::ServerUnlockScope unlocked(plat::LockRelease::kTransmitDrainer);
            WaitWritable(moved ? fd : -1, kTxDrainRoundMs);
        }
        if (stopping_ || portObject_ == nullptr) break;
        const uint32_t before = PendingTransmit();
        PushPending(before);
        moved = PendingTransmit() < before;
    }
    txDraining_ = false;
}

int CSharedPort::PushPending(uint32_t pending) {
    plat::ServerLockGuard guard;
    if (pending == 0) return kStatusSuccess;
    PortObject* p = portObject_;
    if (p == nullptr) return kStatusNotSetUp;
    // The caller has just stored its bytes at its write position; every other channel's
    // next bytes must go after them, even when the device takes nothing now.
    AlignTransmitViews();
    if (goneAnnounced_) return p->status;  // kept for the device's return
    p->ops.ClearStatus(p);
    const int free = p->ops.TxFree(p);
    if (free <= 0) {
        if (p->status != 0) NoteFailure();
        return p->status != 0 ? p->status : std::min(free, 0);
    }

    auto* ring = static_cast<uint8_t*>(plat::GlobalLock(txMemory_));
    if (ring == nullptr) {
        p->status = kStatusGeneralError;
        return kStatusGeneralError;
    }
    if (p->status != 0) {
        plat::GlobalUnlock(txMemory_);
        return p->status;
    }
    const uint32_t k = std::min({pending, static_cast<uint32_t>(free), txSize_});
    const uint32_t room = txSize_ - txPosition_;
    const uint32_t first = std::min(room, k);
    int result = kStatusSuccess;
    uint32_t sent = 0;
    if (first > 0) {
        p->count = 0;
        result = p->ops.WriteBuffer(p, ring + txPosition_, static_cast<int32_t>(first));
        sent = Moved(p, first);
    }
    if (room < k && result == kStatusSuccess && sent == room) {
        const uint32_t rest = k - room;
        p->count = 0;
        result = p->ops.WriteBuffer(p, ring, static_cast<int32_t>(rest));
        const uint32_t more = Moved(p, rest);
        txPosition_ = more;
        sent += more;
    } else {
        txPosition_ += sent;
    }
    plat::GlobalUnlock(txMemory_);
    if (sent > 0) {
        for (PortClient* c : channels_) {
            if (RingView* v = c->TransmitView()) v->Sent(sent);
        }
    }
    return result;
}

uint32_t CSharedPort::Resize(uint32_t newSize, bool receive) {
    plat::ServerLockGuard guard;
    uint32_t& size = receive ? rxSize_ : txSize_;
    plat::HGLOBAL& memory = receive ? rxMemory_ : txMemory_;
    const uint32_t position = receive ? rxPosition_ : txPosition_;
    if (!IsValidRingSize(newSize) || newSize == size || newSize < position) return size;
    if (memory == 0) return size;
    const plat::HGLOBAL h = plat::GlobalReAlloc(memory, newSize, kRingFlags);
    if (h == 0) return size;
    memory = h;
    size = newSize;
    for (PortClient* c : channels_) {
        RingView* v = receive ? c->ReceiveView() : c->TransmitView();
        if (v != nullptr) v->Init(size, memory, position);
        c->UpdateAllViews(0);
    }
    return size;
}

uint32_t CSharedPort::ResizeReceive(uint32_t newSize) {
    return Resize(newSize, true);
}
uint32_t CSharedPort::ResizeTransmit(uint32_t newSize) {
    return Resize(newSize, false);
}

bool CSharedPort::QuerySettings(int32_t& baud, int16_t& parity, int16_t& wordLength,
                                int16_t& stopBits) const {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return false;
    if (p->type == kDriverInfraRed) {
        baud = 115200;
        parity = 'N';
        wordLength = 8;
        stopBits = 1;
        return true;
    }
    const SerialDriverRecord* rec = SerialRecord(p);
    if (rec == nullptr) return false;
    baud = static_cast<int32_t>(rec->dcb.BaudRate);
    wordLength = rec->dcb.ByteSize;
    stopBits = rec->dcb.StopBits == plat::TWOSTOPBITS ? 2 : 1;
    switch (rec->dcb.Parity) {
        case plat::NOPARITY:
            parity = 'N';
            return true;
        case plat::ODDPARITY:
            parity = 'O';
            return true;
        case plat::EVENPARITY:
            parity = 'E';
            return true;
        case plat::MARKPARITY:
            parity = 'M';
            return true;
        default:
            return false;  // space parity has no letter here
    }
}

bool CSharedPort::QueryFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff) const {
    plat::ServerLockGuard guard;
    PortObject* p = portObject_;
    if (p == nullptr) return false;
    if (p->type == kDriverInfraRed) {
        dtrDsr = rtsCts = xonXoff = false;
        return true;
    }
    const SerialDriverRecord* rec = SerialRecord(p);
    if (rec == nullptr) return false;
    const plat::Dcb& dcb = rec->dcb;
    dtrDsr = dcb.fOutxDsrFlow && dcb.fDtrControl == plat::DTR_CONTROL_HANDSHAKE;
    rtsCts = dcb.fOutxCtsFlow && dcb.fRtsControl == plat::RTS_CONTROL_HANDSHAKE;
    xonXoff = dcb.fOutX && dcb.fInX;
    return true;
}

std::string CSharedPort::PortName() const {
    return "COM" + std::to_string(portNumber_);
}

void CSharedPort::IdleService() {
    plat::ServerLockGuard guard;
    if (!NeedsIdleService()) return;
    // Held for the whole pass: the link's steps wait with the lock let go, and a client
    // may close the port or set a new line meanwhile, which closes this link and drops it
    // from the port object. The steps then find it closed and stop.
    const std::shared_ptr<IrLinkRecord> link = SharedIrLink(portObject_);
    const bool wasOpen = link->state != kIrClosed;
    const uint32_t decodedBefore = link->userRx.writeIndex;
    LinkStep(link.get());
    LinkPump(link.get());
    if (SharedIrLink(portObject_) != link) return;
    // Bytes decoded for the user (the ring's write end moved, whatever readers took
    // meanwhile): the link reads its device here, not in a read of the port, so waiting
    // reads learn of them from here.
    if (link->userRx.writeIndex != decodedBefore) arrivals_.WakeAll();
    // The link stops itself when its device goes away; only that moment is worth a look.
    if (wasOpen && link->state == kIrClosed) NoteFailure();
    // The pump made room in the link's queue: what waits in the transmit ring follows.
    if (const uint32_t pending = PendingTransmit(); pending > 0) PushPending(pending);
}

bool CSharedPort::NeedsIdleService() const {
    plat::ServerLockGuard guard;
    return portObject_ != nullptr && portObject_->type == kDriverInfraRed &&
           IrLink(portObject_) != nullptr;
}

}  // namespace tolvan
