// One COM port lent to every channel connected to it. The shared port owns the port
// object of whichever driver opened the port, one receive ring and one transmit ring, the
// list of attached channels (not owned) and a counted write lock. Received bytes go into
// the receive ring and are announced to every channel's receive view; bytes a channel
// stores in its transmit view go from the transmit ring to the driver.
//
// Operations take the server lock, so a file transfer thread and the user-interface
// thread may both drive one shared port.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/movable_memory.h"
#include "platform/server_condition.h"
#include "platform/ticks.h"
#include "platform/wake_list.h"
#include "ports/port_client.h"
#include "ports/port_object.h"
#include "ports/receive_tap.h"

namespace tolvan {

// The application's default ring sizes, used whenever a shared port opens.
struct RingSizes {
    uint32_t rx = 1050;
    uint32_t tx = 1050;
};

// A ring size the ring arithmetic can take: 1 .. 2^31 - 1.
bool IsValidRingSize(uint32_t size);

class CSharedPort {
public:
    // `defaults` must outlive the port (the registry holds both).
    CSharedPort(int32_t portNumber, const RingSizes& defaults);
    // Frees both rings, closes the port object, forgets the channels.
    ~CSharedPort();
    CSharedPort(const CSharedPort&) = delete;
    CSharedPort& operator=(const CSharedPort&) = delete;

    // Opens the port: parity (or mode) 0 or 1 selects the infra-red link, anything else the
    // serial driver on a fresh plain handle. Then allocates both rings with the default
    // sizes. 0, or the status code; the port stays closed on failure (-2 device cannot be
    // opened, -5 no ring memory, -4 default ring size unusable, or the line status).
    // An open lets the server lock go (a network connect, the infra-red set-up): a second
    // open meanwhile waits for the first and takes its port. *openedHere (when given) tells
    // whether this call opened the port or found it open.
    int Open(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits,
             bool* openedHere = nullptr);
    // Clears the driver status and sets the line; on success every channel rebuilds its
    // title. Returns the driver status; -6 when closed.
    int Reconfigure(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits);
    // DTR/DSR, then RTS/CTS, then XON/XOFF; the first non-zero status, or 0. -6 when closed.
    int ApplyFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff);
    int SetDtr(bool on);
    int SetRts(bool on);

    // Appends the channel, lets it build its buffers here (PortClient::SetPort) and puts
    // its transmit view at the end of the data still pending.
    void Attach(PortClient* channel);
    // Removes the channel (once) and every lock level it held; the last channel to leave
    // closes the port and frees the rings. Nothing when the channel is not attached.
    void Detach(PortClient* channel);

    // 1 locked (levels nest), 0 refused because another channel holds the lock.
    int LockFor(PortClient* channel);
    // The remaining level; 0 also when the channel does not hold the lock.
    int UnlockFor(PortClient* channel);
    // True when the port is open and a channel other than this one holds the lock.
    bool IsLockedByOther(const PortClient* channel) const;

    // Moves what the driver holds (at most one ring's worth per call, the rest stays in the
    // device queue) into the receive ring and announces it to every channel. Returns the
    // status of the last read; -6 when closed, -1 when the ring cannot be locked.
    int PollReceive();
    // Hands up to `pending` bytes from the transmit ring to the driver and announces the
    // amount sent to every channel. Returns the status of the last write; 0 for nothing
    // pending, -6 when closed, -1 when the ring cannot be locked. What the driver cannot take
    // now leaves later without further calls, in order: a drainer thread hands it on as the
    // device drains (serial ports), the idle service does on an infra-red port.
    int PushTransmit(uint32_t pending);
    // Bytes stored in the transmit ring and not yet handed to the driver.
    uint32_t PendingTransmit() const;

    // False when the device takes no bytes at all (it went away): the driver fails on the
    // transmit queue, and its status is left as the port's error. Writers check this before
    // they store bytes that could never leave. False when closed.
    bool DeviceAccepts();
    // A descriptor that becomes readable when the device has bytes for the port, or -1 when
    // the driver has none (infra-red link, simulated devices): waits sleep on it.
    int ReceiveWaitFd() const;

    // A descriptor that polls readable while received bytes wait in the device (the tty,
    // or an in-process device's event descriptor); -1 when closed or there is none.
    int ArrivalFd() const;
    // Woken, under the server lock, whenever what a reader of this port waits for may
    // have changed: bytes moved into the receive ring (whichever thread read them: another
    // channel, a stream's reader, the infra-red idle service), a channel left, the device
    // opened, closed, went away or came back. Lives as long as the port.
    plat::WakeList& Arrivals() { return arrivals_; }
    // What a wait for this port's received bytes sleeps on: the arrival descriptor (none
    // while a full lossless stream keeps bytes in the device, or once the device is gone)
    // and Arrivals().
    plat::WaitTarget ReceiveWaitTarget();
    // The reader of this port's streams (channels/stream_hub.h), kept across openings;
    // null until the first stream. Set and read under the server lock.
    ReceiveTap* Tap() const { return tap_.get(); }
    void SetTap(std::unique_ptr<ReceiveTap> tap);

    // What the open port's device is ("/dev/ttyUSB0", "loop://"); empty when closed.
    std::string DeviceTarget() const;
    // True when the open port's device went away (unplugged, hung up). Looks at the device
    // now; takes nothing from it. False when closed. The first read, write or link step
    // that fails on a device gone tells every channel's views once (kHintDeviceGone).
    bool DeviceGone() const;

    // Resize a ring; refused (size unchanged) for the current size, a size below the ring
    // position, 0 or above 2^31 - 1, a closed port, or memory that cannot be had. On
    // success every channel's view of that ring starts over empty and its views get hint 0.
    // Returns the size in effect.
    uint32_t ResizeReceive(uint32_t newSize);
    uint32_t ResizeTransmit(uint32_t newSize);

    // Line settings as the driver holds them (infra-red: 115200, 'N', 8, 1). False when
    // closed, and for space parity (baud, word length and stop bits are stored then).
    bool QuerySettings(int32_t& baud, int16_t& parity, int16_t& wordLength,
                       int16_t& stopBits) const;
    // False when closed; infra-red: all off.
    bool QueryFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff) const;
    // "COM" and the number.
    std::string PortName() const;

    // One state step and one pump of an infra-red link; nothing for other ports.
    void IdleService();
    // True while an infra-red link is open here: only then has IdleService work to do.
    bool NeedsIdleService() const;

    // --- A device that goes and comes back (ports/port_reconnect.cpp) -----------------
    // Once the port found its device gone, reads and writes leave the device alone: the
    // port's status keeps the loss (reported once; ClearPortError clears it) and nothing
    // is stored to go out, until Reconnect brings the device back or the port closes.
    enum class DeviceEvent {
        kOpened,  // the port opened (a new device descriptor to watch)
        kClosed,  // the port closed
        kLost,    // the device went away; the channels had kHintDeviceGone
        kBack,    // Reconnect reopened it; the channels had kHintDeviceBack
    };
    // Called under the server lock right after the event, on the thread that caused it.
    // Stream readers hook in here to go on reading the reopened descriptor (it keeps its
    // number across a reconnect). Returns an id for RemoveDeviceObserver.
    using DeviceObserver = std::function<void(CSharedPort& port, DeviceEvent event)>;
    static int AddDeviceObserver(DeviceObserver observer);
    static void RemoveDeviceObserver(int id);
    // True while the open port's device is known to be gone.
    bool DeviceLost() const;
    // Looks at the device now, as a failing read would: a device found gone is lost (the
    // channels are told once). Returns DeviceLost().
    bool CheckDevice();
    // The path the open port's device was opened by, when it is a device that can come
    // back by that path (a tty); empty otherwise and when closed.
    std::string ReopenablePath() const;
    // Reopens a lost device at the same path, with the line settings, flow control and
    // modem lines the port had; the rings, the channels, their positions and the write
    // lock stay as they are, so every channel carries on. 0 when reopened (or when the
    // device was not lost); -6 closed; -24 a device that cannot come back; else the status
    // of the failed open (the port stays lost).
    int Reconnect();
    // --- end of the device that goes and comes back --------------------------------------

    // What channels build their buffers from.
    int32_t PortNumber() const { return portNumber_; }
    bool IsOpen() const { return portObject_ != nullptr; }
    uint32_t RxSize() const { return rxSize_; }
    uint32_t TxSize() const { return txSize_; }
    uint32_t RxPosition() const { return rxPosition_; }
    uint32_t TxPosition() const { return txPosition_; }
    plat::HGLOBAL RxMemory() const { return rxMemory_; }
    plat::HGLOBAL TxMemory() const { return txMemory_; }
    // The open port object (its `status` is the channel's port error), or null.
    PortObject* Port() const { return portObject_; }
    const std::vector<PortClient*>& Channels() const { return channels_; }
    PortClient* LockOwner() const { return lockOwner_; }
    int32_t LockCount() const { return lockCount_; }

private:
    // Keeps the port object while an operation that may let the server lock go runs on it
    // (a new line on an infra-red port sets the link up again): a close asked for meanwhile
    // happens when the last such operation ends.
    class InUse {
    public:
        explicit InUse(CSharedPort& port);
        ~InUse();
        InUse(const InUse&) = delete;
        InUse& operator=(const InUse&) = delete;

    private:
        CSharedPort& port_;
    };

    int PushPending(uint32_t pending);
    // With the server lock held: starts the drainer unless it runs (serial ports only).
    void StartTransmitDrainer();
    void DrainTransmit();  // the drainer's body

    int OpenPort(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits);
    // The last channel left: closes the port and frees the rings, or leaves that to the
    // operation in use.
    void CloseWhenUnused();
    int OpenSerial(int32_t baud, int16_t parity, int16_t wordLength, int16_t stopBits);
    int AllocateRings();
    void FreeRings();
    void ClosePortObject();
    uint32_t Resize(uint32_t newSize, bool receive);
    // Brings every transmit view to the end of all data pending in the transmit ring.
    void AlignTransmitViews();
    // After a failed operation: when the device went away, hints every channel (once).
    void NoteFailure();
    void NotifyDevice(DeviceEvent event);

    int32_t portNumber_;
    int32_t lockCount_ = 0;
    uint32_t rxSize_ = 0;
    uint32_t txSize_ = 0;
    uint32_t rxPosition_ = 0;
    uint32_t txPosition_ = 0;
    plat::HGLOBAL txMemory_ = 0;
    plat::HGLOBAL rxMemory_ = 0;
    std::vector<PortClient*> channels_;
    PortClient* lockOwner_ = nullptr;
    PortObject* portObject_ = nullptr;
    bool goneAnnounced_ = false;  // for the port object open now
    bool opening_ = false;        // an Open has let the server lock go
    plat::ServerCondition openEnded_;
    int inUse_ = 0;
    bool closeWhenUnused_ = false;
    std::thread txDrainer_;
    bool txDraining_ = false;
    bool stopping_ = false;  // the port is being deleted: no drainer starts or goes on
    const RingSizes& defaults_;
    std::unique_ptr<ReceiveTap> tap_;
    plat::WakeList arrivals_;
};

}  // namespace tolvan
