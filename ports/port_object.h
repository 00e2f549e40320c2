// The driver-independent port object: one per open COM port, with the table of 24
// operations that everything above the drivers calls. Operations answer 0 or a negative
// status code (recorded in the sticky `status`), or a non-negative count or value.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "ports/status_text.h"

namespace tolvan {

struct PortObject;

// Base of the drivers' own records, so the port object can own any of them.
struct DriverRecord {
    virtual ~DriverRecord() = default;
};

// Takes one line of text (Dump).
using LineSink = std::function<void(const std::string& line)>;

inline constexpr int32_t kDriverWin32 = 15;
inline constexpr int32_t kDriverInfraRed = 18;
inline constexpr int32_t kDriverPlaceholder = -1;

// The operation table, in slot order. Every entry takes the port object first.
struct PortOperations {
    int (*ReadChar)(PortObject*);            // 0: byte 0..255 or status (-8 empty)
    int (*PeekChar)(PortObject*);            // 1
    int (*WriteChar)(PortObject*, uint8_t);  // 2
    int (*Close)(PortObject*);               // 3: the object is gone afterwards
    int (*SetLine)(PortObject*, int32_t baud, int16_t parity, int16_t wordLength,
                   int16_t stopBits);                                      // 4
    int (*UseXonXoff)(PortObject*, bool on);                               // 5
    int (*UseRtsCts)(PortObject*, bool on);                                // 6
    int (*UseDtrDsr)(PortObject*, bool on);                                // 7
    int (*SetDtr)(PortObject*, bool on);                                   // 8
    int (*SetRts)(PortObject*, bool on);                                   // 9
    int (*TxFree)(PortObject*);                                            // 10
    int (*TxUsed)(PortObject*);                                            // 11
    int (*RxFree)(PortObject*);                                            // 12
    int (*RxUsed)(PortObject*);                                            // 13
    int (*ClearTx)(PortObject*);                                           // 14
    int (*WriteBuffer)(PortObject*, const uint8_t* data, int32_t length);  // 15: count
    int (*ReadBuffer)(PortObject*, uint8_t* dest, int32_t length);         // 16: count
    int (*Dump)(PortObject*, const LineSink& sink);                        // 17
    int (*SendBreak)(PortObject*, int32_t milliseconds);                   // 18
    int (*ModemStatus)(PortObject*);      // 19: 0x10 CTS 0x20 DSR 0x40 RI 0x80 CD
    int (*LineStatus)(PortObject*);       // 20: 0x02 OE 0x04 PE 0x08 FE 0x10 BRK
    int (*ClearLineStatus)(PortObject*);  // 21
    int (*ReservedOp)(PortObject*);       // 22
    void (*ClearStatus)(PortObject*);     // 23
};
static_assert(sizeof(PortOperations) == 24 * sizeof(void (*)()), "24 slots");

struct PortObject {
    std::unique_ptr<DriverRecord> driver;  // null on the placeholder port
    PortObject* next = nullptr;            // open port list
    int32_t port = 0;                      // 0-based: COM1 is 0
    int32_t status = 0;                    // sticky last status
    int32_t type = 0;                      // kDriverWin32, kDriverInfraRed, kDriverPlaceholder
    uint32_t reserved = 0;
    int32_t count = 0;  // bytes moved by the last ReadBuffer / WriteBuffer
    PortOperations ops{};
};

// A zeroed port object, or nullptr when memory cannot be had (plat::AllocationAllowed).
PortObject* NewPortObject();
// Frees a port object (and its driver record). The placeholder is never freed.
void FreePortObject(PortObject* p);

// The common initialiser: registers the exit routine on first use, pushes p at the head
// of the open port list, fills the default table, zeroes `reserved` and `count`.
void InitPortObject(PortObject* p);
// Only the default table (infra-red port objects, which stay off the open port list).
void FillDefaultOperations(PortObject* p);
// Removes p from the open port list (nothing when it is not on it).
void UnlinkPortObject(PortObject* p);

// The placeholder port, (re)initialised: driver null, port -1, type -1, status -5.
PortObject* PlaceholderPort();
bool IsPlaceholderPort(const PortObject* p);

// The open port list, and the exit routine's work (Close on the head until empty).
PortObject* OpenPortListHead();
int OpenPortCount();
void CloseAllOpenPorts();

// Default entries: -24 recorded in `status`; ClearStatus zeroes it; Close unlinks and
// frees; Dump writes "Port dump not supported for this driver" and an empty line.
int UnsupportedOperation(PortObject* p);
int DefaultClose(PortObject* p);
void DefaultClearStatus(PortObject* p);

// The idle hook, called repeatedly by operations that wait (SendBreak). A negative result
// ends the wait. The default does nothing and returns 0; the application sets one that
// processes its pending events. Returns the previous hook.
using IdleHook = std::function<int()>;
IdleHook SetIdleHook(IdleHook hook);
int CallIdleHook();

// Installs an idle hook for its lifetime and puts the one before it back when it ends.
class ScopedIdleHook {
public:
    explicit ScopedIdleHook(IdleHook hook) : previous_(SetIdleHook(std::move(hook))) {}
    ~ScopedIdleHook() { SetIdleHook(std::move(previous_)); }
    ScopedIdleHook(const ScopedIdleHook&) = delete;
    ScopedIdleHook& operator=(const ScopedIdleHook&) = delete;

private:
    IdleHook previous_;
};

}  // namespace tolvan
