#include "ports/port_object.h"

#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/movable_memory.h"
#include "platform/ranked_mutex.h"

namespace tolvan {

namespace {

// Guards the open port list and the placeholder. Recursive: the exit routine calls
// Close entries, which unlink under the same mutex.
plat::RankedRecursiveMutex g_listMutex{plat::LockRank::kPortList};
PortObject* g_head = nullptr;
bool g_exitRegistered = false;
PortObject g_placeholder;

plat::RankedMutex g_idleMutex{plat::LockRank::kIdleHook};
IdleHook g_idleHook;

int Unsupported(PortObject* p) {
    return UnsupportedOperation(p);
}
int UnsupportedU8(PortObject* p, uint8_t) {
    return UnsupportedOperation(p);
}
int UnsupportedBool(PortObject* p, bool) {
    return UnsupportedOperation(p);
}
int UnsupportedI32(PortObject* p, int32_t) {
    return UnsupportedOperation(p);
}
int UnsupportedLine(PortObject* p, int32_t, int16_t, int16_t, int16_t) {
    return UnsupportedOperation(p);
}
int UnsupportedWrite(PortObject* p, const uint8_t*, int32_t) {
    return UnsupportedOperation(p);
}
int UnsupportedRead(PortObject* p, uint8_t*, int32_t) {
    return UnsupportedOperation(p);
}

int DefaultDump(PortObject* p, const LineSink& sink) {
    if (sink) {
        sink("Port dump not supported for this driver");
        sink("");
    }
    return UnsupportedOperation(p);
}

void ExitRoutine() {
    CloseAllOpenPorts();
}

}  // namespace

PortObject* NewPortObject() {
    if (!plat::AllocationAllowed()) return nullptr;
    return new (std::nothrow) PortObject();
}

void FreePortObject(PortObject* p) {
    if (!p || p == &g_placeholder) return;
    delete p;
}

void FillDefaultOperations(PortObject* p) {
    PortOperations& o = p->ops;
    o.ReadChar = Unsupported;
    o.PeekChar = Unsupported;
    o.WriteChar = UnsupportedU8;
    o.Close = DefaultClose;
    o.SetLine = UnsupportedLine;
    o.UseXonXoff = UnsupportedBool;
    o.UseRtsCts = UnsupportedBool;
    o.UseDtrDsr = UnsupportedBool;
    o.SetDtr = UnsupportedBool;
    o.SetRts = UnsupportedBool;
    o.TxFree = Unsupported;
    o.TxUsed = Unsupported;
    o.RxFree = Unsupported;
    o.RxUsed = Unsupported;
    o.ClearTx = Unsupported;
    o.WriteBuffer = UnsupportedWrite;
    o.ReadBuffer = UnsupportedRead;
    o.Dump = DefaultDump;
    o.SendBreak = UnsupportedI32;
    o.ModemStatus = Unsupported;
    o.LineStatus = Unsupported;
    o.ClearLineStatus = Unsupported;
    o.ReservedOp = Unsupported;
    o.ClearStatus = DefaultClearStatus;
    p->reserved = 0;
    p->count = 0;
}

void InitPortObject(PortObject* p) {
    {
        std::lock_guard lock(g_listMutex);
        if (!g_exitRegistered) {
            g_exitRegistered = true;
            std::atexit(ExitRoutine);
        }
        // The placeholder may be handed out again while it is still listed.
        UnlinkPortObject(p);
        p->next = g_head;
        g_head = p;
    }
    FillDefaultOperations(p);
}

void UnlinkPortObject(PortObject* p) {
    std::lock_guard lock(g_listMutex);
    for (PortObject** link = &g_head; *link; link = &(*link)->next) {
        if (*link == p) {
            *link = p->next;
            p->next = nullptr;
            return;
        }
    }
}

PortObject* PlaceholderPort() {
    std::lock_guard lock(g_listMutex);
    g_placeholder.driver.reset();
    InitPortObject(&g_placeholder);
    g_placeholder.port = -1;
    g_placeholder.type = kDriverPlaceholder;
    g_placeholder.status = kStatusNoMemory;
    return &g_placeholder;
}

bool IsPlaceholderPort(const PortObject* p) {
    return p == &g_placeholder;
}

PortObject* OpenPortListHead() {
    std::lock_guard lock(g_listMutex);
    return g_head;
}

int OpenPortCount() {
    std::lock_guard lock(g_listMutex);
    int n = 0;
    for (PortObject* p = g_head; p; p = p->next) ++n;
    return n;
}

void CloseAllOpenPorts() {
    std::lock_guard lock(g_listMutex);
    while (g_head) {
        PortObject* p = g_head;
        p->ops.Close(p);
        // A Close entry that failed to unlink must not keep the loop going forever.
        if (g_head == p) UnlinkPortObject(p);
    }
}

int UnsupportedOperation(PortObject* p) {
    p->status = kStatusNotSupported;
    return kStatusNotSupported;
}

int DefaultClose(PortObject* p) {
    UnlinkPortObject(p);
    FreePortObject(p);
    return kStatusSuccess;
}

void DefaultClearStatus(PortObject* p) {
    p->status = kStatusSuccess;
}

IdleHook SetIdleHook(IdleHook hook) {
    std::lock_guard lock(g_idleMutex);
    IdleHook previous = std::move(g_idleHook);
    g_idleHook = std::move(hook);
    return previous;
}

int CallIdleHook() {
    IdleHook hook;
    {
        std::lock_guard lock(g_idleMutex);
        hook = g_idleHook;
    }
    return hook ? hook() : 0;
}

}  // namespace tolvan
