#include "ports/ir_driver.h"

#include "ports/ir_frame.h"

namespace tolvan {

namespace {

// The port object's hold on its link. The link is shared: the idle service keeps it
// across waits that let the server lock go, while a close or a new line may drop the
// port object's hold. Dropping it closes the link at once (the device is free for the
// next open); the memory goes with the last holder.
struct IrLinkHolder final : DriverRecord {
    explicit IrLinkHolder(std::unique_ptr<IrLinkRecord> l) : link(std::move(l)) {}
    ~IrLinkHolder() override {
        if (link) CloseLink(*link);
    }
    std::shared_ptr<IrLinkRecord> link;
};

// The link of a port object whose operations are ours; nullptr once SetLine lost it.
IrLinkRecord* LinkOf(PortObject* p) {
    auto* holder = static_cast<IrLinkHolder*>(p->driver.get());
    return holder ? holder->link.get() : nullptr;
}

// Starts an operation: status 0, then the link, or -6 recorded when there is none.
IrLinkRecord* Begin(PortObject* p) {
    p->status = kStatusSuccess;
    IrLinkRecord* link = LinkOf(p);
    if (!link) p->status = kStatusNotSetUp;
    return link;
}

int Fail(PortObject* p, int status) {
    p->status = status;
    return status;
}

int IrReadChar(PortObject* p) {
    IrLinkRecord* link = Begin(p);
    if (!link) return p->status;
    uint8_t b = 0;
    const int code = RingGet(link->userRx, b);
    if (code != kLinkOk) return Fail(p, IrStatusFromLinkCode(code));
    return b;
}

int IrWriteChar(PortObject* p, uint8_t byte) {
    IrLinkRecord* link = Begin(p);
    if (!link) return p->status;
    const int code = RingPut(link->userTx, byte);
    if (code != kLinkOk) return Fail(p, IrStatusFromLinkCode(code));
    return kStatusSuccess;
}

int IrClose(PortObject* p) {
    p->driver.reset();  // closes the link
    FreePortObject(p);
    return kStatusSuccess;
}

int IrSetLine(PortObject* p, int32_t baud, int16_t, int16_t, int16_t) {
    p->status = kStatusSuccess;
    p->driver.reset();
    std::unique_ptr<IrLinkRecord> link;
    const int code = OpenLink(p->port, baud, link);
    if (code != kLinkOk) return Fail(p, IrStatusFromLinkCode(code));
    p->driver = std::make_unique<IrLinkHolder>(std::move(link));
    return kStatusSuccess;
}

// The queue counts leave `status` alone; without a link they answer -6.
int IrTxFree(PortObject* p) {
    IrLinkRecord* link = LinkOf(p);
    return link ? static_cast<int>(RingFree(link->userTx)) : kStatusNotSetUp;
}

int IrTxUsed(PortObject* p) {
    IrLinkRecord* link = LinkOf(p);
    return link ? static_cast<int>(RingUsed(link->userTx)) : kStatusNotSetUp;
}

int IrRxFree(PortObject* p) {
    IrLinkRecord* link = LinkOf(p);
    return link ? static_cast<int>(RingFree(link->userRx)) : kStatusNotSetUp;
}

int IrRxUsed(PortObject* p) {
    IrLinkRecord* link = LinkOf(p);
    return link ? static_cast<int>(RingUsed(link->userRx)) : kStatusNotSetUp;
}

int IrClearTx(PortObject* p) {
    IrLinkRecord* link = Begin(p);
    if (!link) return p->status;
    RingDiscard(link->userTx);
    return kStatusSuccess;
}

// Queues what fits; `count` always tells how many bytes were taken, so a caller never
// sends them twice.
int IrWriteBuffer(PortObject* p, const uint8_t* data, int32_t length) {
    IrLinkRecord* link = Begin(p);
    if (!link) return p->status;
    int32_t put = 0;
    while (put < length && RingPut(link->userTx, data[put]) == kLinkOk) ++put;
    p->count = put;
    if (put < length) return Fail(p, kStatusBufferFull);
    return kStatusSuccess;
}

// Delivers what is waiting, up to `length`; `count` tells how much, so no byte taken from
// the ring is ever lost. Fewer than asked answers -8, which is not recorded in `status`.
int IrReadBuffer(PortObject* p, uint8_t* dest, int32_t length) {
    IrLinkRecord* link = Begin(p);
    if (!link) return p->status;
    int32_t got = 0;
    while (got < length && RingGet(link->userRx, dest[got]) == kLinkOk) ++got;
    p->count = got;
    return got < length ? kStatusBufferEmpty : kStatusSuccess;
}

int IrReservedOp(PortObject*) {
    return kStatusNotSupported;
}

}  // namespace

int IrStatusFromLinkCode(int code) {
    switch (code) {
        case kLinkOk:
            return kStatusSuccess;
        case kLinkRingEmpty:
            return kStatusBufferEmpty;
        case kLinkRingFull:
            return kStatusBufferFull;
        case kLinkNoMemory:
            return kStatusNoMemory;
        case kLinkDeviceOpen:
            return kStatusInvalidParameter;
        case kLinkDeviceSetup:
            return kStatusNotSetUp;
        default:
            return kStatusGeneralError;
    }
}

PortObject* OpenIrPort(int32_t portIndex, int32_t baud, int16_t /*mode*/, int* linkCode) {
    PortObject* p = NewPortObject();
    if (!p) {
        if (linkCode) *linkCode = kLinkNoMemory;
        return nullptr;
    }
    FillDefaultOperations(p);
    p->port = portIndex;
    p->type = kDriverInfraRed;
    p->ops.ReadChar = IrReadChar;
    p->ops.WriteChar = IrWriteChar;
    p->ops.Close = IrClose;
    p->ops.SetLine = IrSetLine;
    p->ops.TxFree = IrTxFree;
    p->ops.TxUsed = IrTxUsed;
    p->ops.RxFree = IrRxFree;
    p->ops.RxUsed = IrRxUsed;
    p->ops.ClearTx = IrClearTx;
    p->ops.WriteBuffer = IrWriteBuffer;
    p->ops.ReadBuffer = IrReadBuffer;
    p->ops.ReservedOp = IrReservedOp;
    p->ops.ClearStatus = DefaultClearStatus;

    std::unique_ptr<IrLinkRecord> link;
    const int code = OpenLink(portIndex, baud, link);
    if (linkCode) *linkCode = code;
    if (code != kLinkOk) {
        FreePortObject(p);
        return nullptr;
    }
    p->driver = std::make_unique<IrLinkHolder>(std::move(link));
    p->status = kStatusSuccess;
    return p;
}

IrLinkRecord* IrLink(PortObject* p) {
    if (!p || p->type != kDriverInfraRed || p->ops.Close != IrClose) return nullptr;
    return LinkOf(p);
}

std::shared_ptr<IrLinkRecord> SharedIrLink(PortObject* p) {
    if (IrLink(p) == nullptr) return nullptr;
    return static_cast<IrLinkHolder*>(p->driver.get())->link;
}

}  // namespace tolvan
