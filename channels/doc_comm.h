// The channel document: one client's channel on a shared COM port. It owns two views of
// the port's rings (receive and transmit), takes part in the port's write lock, carries
// the read and write operations clients call by automation, stores itself as a .ccf file
// and names itself after its line settings ("COM2:9600,N,8,1. Name: RiVo321").
//
// The operations after the document's own are virtual in the order of the automation
// member table (automation/contract/comm_members.h), property get before set, so modem and
// infra-red channels reuse them and the dispatch table reaches them all.
//
// Threads: every operation takes the server lock (platform/server_lock.h) for its whole
// run; the timed reads wait through the platform wait function, which lets the lock go
// while sleeping. So the user-interface thread and a file transfer thread may both drive
// channels of one port. View hints may be sent from either thread.
//
// Buffers handed in by clients (std::span) are never read or written outside their
// bounds, whatever count is asked; a count of 0 or less delivers or stores nothing.
#pragma once

#include "channels/channel_buffer.h"
#include "framework/dispatch_class.h"
#include "framework/document.h"
#include "framework/document_class.h"
#include "platform/ticks.h"
#include "ports/port_client.h"
#include "ports/xmodem_link.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tolvan {

class ChannelStream;
class CSharedPort;
class PortRegistry;

// Hints the channel sends to its views.
enum CommViewHint : int {
    kHintAll = 0,           // connected; buffers re-created
    kHintReceive = 1,       // bytes taken from, or clearing of, the receive buffer
    kHintTransmit = 2,      // bytes stored in, or clearing of, the transmit buffer
    kHintSizes = 3,         // TBuffSize / RBuffSize set
    kHintDisconnected = 4,  // the connection was closed
    // 7: kHintDeviceGone (ports/port_client.h), sent by the port when its device went away
    // 8: kHintDeviceBack (ports/port_client.h), sent by the port when it reopened it
};

// String ids of the title parts (the program's string table; these texts when missing).
inline constexpr unsigned kNotConnectedStringId = 61252;  // "Not Connected."
inline constexpr unsigned kNameLabelStringId = 61253;     // "Name:"

// The .ccf port word of a channel that was not connected.
inline constexpr std::uint16_t kCcfNotConnected = 0xFFFF;

// A timed read in tries, so that a wait may hold no thread (automation/waiting_read.h):
// what the member asked for and what came so far. Started by CDocComm::StartTimedRead,
// tried with TryTimedRead, answered by EndTimedRead. The buffer stays the caller's and
// must outlive the read.
struct TimedRead {
    enum class Kind { kBytes, kString, kChar };
    Kind kind = Kind::kChar;
    std::span<std::uint8_t> dest;  // the part still to fill (bytes; strings without terminator)
    std::int16_t terminator = -1;
    std::int32_t total = 0;              // bytes delivered
    std::optional<std::int16_t> answer;  // fixed early: refused, closed, the byte read
    bool done = false;
};

class CDocComm : public tfw::CDocument,
                 public tfw::DispatchTarget,
                 public PortClient,
                 public XModemLink {
public:
    CDocComm();
    // Drops both buffers, detaches from the port (closing it when no channel is left),
    // releases the application lock taken by the constructor.
    ~CDocComm() override;

    // Runtime class "CDocComm" (no schema) for document templates.
    static const tfw::DocumentClass& Class();
    // The "RiVo32.Document" dispatch class with every member bound.
    static const tfw::DispatchClass& CommDispatchClass();
    const tfw::DispatchClass& GetDispatchClass() const override;

    // The application's port registry all channels connect through (not owned; null:
    // every connect fails with -2 and GetAvailableCOMM gives the empty string).
    static void SetPortRegistry(PortRegistry* registry);
    static PortRegistry* GetPortRegistry();

    // --- Document ---------------------------------------------------------------------
    // Builds "<state> Name: <name>" from the last blank-free part of `title`.
    void SetTitle(std::string_view title) override;
    // A client-held channel survives the close (automatic deletion off around the base).
    void OnCloseDocument() override;
    // Only while no client holds the channel (reference count below 2).
    bool CanCloseFrame(bool lastFrame) override;
    // Never asks: a channel has nothing to save.
    bool SaveModified() override { return true; }
    // The .ccf format: port word; when it is not FFFF a 32-bit baud (0: settings could
    // not be read, the library's current parameters are used when loading); when the baud
    // is not 0 the parity letter (8 bits), word length and stop bits (16 bits each).
    // Loading connects (its result is not reported).
    void Serialize(tfw::CArchive& ar) override;

    // --- Shared port client -------------------------------------------------------------
    void SetPort(CSharedPort* port) override;
    RingView* ReceiveView() override;
    RingView* TransmitView() override;
    // Sets the title again with the part after its last blank as the name.
    void RefreshTitle() override;
    using tfw::CDocument::UpdateAllViews;
    void UpdateAllViews(int hint) override;

    // The buffers the views show; null while not connected. Read under the server lock.
    const CChannelBuffer* ReceiveBuffer() const { return rxBuffer_.get(); }
    const CChannelBuffer* TransmitBuffer() const { return txBuffer_.get(); }
    CSharedPort* Port() const { return port_; }
    // The stream that takes this channel's received bytes (channels/channel_stream.h), or
    // null. Read under the server lock.
    ChannelStream* Stream() const { return stream_.get(); }

    // --- Automation members, in table order -----------------------------------------
    virtual std::int16_t GetTBuffSize();
    virtual void SetTBuffSize(std::int16_t size);
    virtual std::int16_t GetRBuffSize();
    virtual void SetRBuffSize(std::int16_t size);
    // 0, -2 (no such port), or the status of opening / setting the port.
    virtual std::int16_t ConnectToPort(std::int16_t port, std::int32_t baud, std::int16_t parity,
                                       std::int16_t wordLength, std::int16_t stopBits);
    // Bytes delivered into buffer (at most min(n, buffer.size())).
    virtual std::int16_t ReadFromPort(std::span<std::uint8_t> buffer, std::int16_t n);
    // Length of the string delivered; the first min(n, buffer.size()) bytes are zeroed.
    virtual std::int16_t ReadStringFromPort(std::span<std::uint8_t> buffer, std::int16_t n,
                                            std::int16_t terminator);
    // Bytes stored for transmission; 0 while another channel holds the write lock.
    virtual std::int16_t WriteToPort(std::span<std::uint8_t> buffer, std::int16_t n);
    // The menu's "Send string": stores bytes for transmission whatever the write lock says
    // (the user at the window may always talk to the port). Bytes stored; 0 not connected.
    std::int32_t TransmitBytes(std::span<const std::uint8_t> bytes);
    virtual std::int16_t SetParam(std::int32_t baud, std::int16_t parity, std::int16_t wordLength,
                                  std::int16_t stopBits);
    virtual std::int16_t SetFlowControl(bool dtrDsr, bool rtsCts, bool xonXoff);
    void ClearRBuff() override;
    virtual void ClearTBuff();
    virtual std::int16_t CloseConnection();
    // The ring sizes ports open with from now on; values of 0 or less are ignored.
    virtual void SetDefBufSize(std::int16_t rxSize, std::int16_t txSize);
    virtual std::int16_t GetPortError();
    virtual void ClearPortError();
    // The status text with its zero byte, cut to fit the buffer.
    virtual void GetCommErrorName(std::span<std::uint8_t> buffer, std::int16_t code);
    virtual bool IsOverflow();
    virtual void LockPort();
    virtual void UnlockPort();
    bool IsConnected() override;
    virtual bool GetPortSettings(std::int32_t& baud, std::int16_t& parity, std::int16_t& wordLength,
                                 std::int16_t& stopBits);
    virtual std::int16_t GetPortNumber();
    virtual bool GetFlowControl(bool& dtrDsr, bool& rtsCts, bool& xonXoff);
    virtual std::int16_t ReadFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t n,
                                           std::int32_t ms);
    virtual std::int16_t ReadStringFromPortTimed(std::span<std::uint8_t> buffer, std::int16_t n,
                                                 std::int16_t terminator, std::int32_t ms);
    // The byte 0..255; none: the driver's last status (0 without error); -6 not connected.
    virtual std::int16_t ReadCharFromPort();
    // The byte 0..255; none within ms: the driver's status, else -10; -6 not connected.
    std::int16_t ReadCharFromPortTimed(std::int32_t ms) override;
    // 1 stored, 0 not (buffer full or locked by another), -6 not connected.
    std::int16_t WriteCharToPort(std::int16_t ch) override;
    // See channels/file_transfer.h.
    virtual std::int16_t ReceiveXModemFile(const std::string& fileName, std::int32_t length,
                                           std::int16_t window);
    virtual std::int16_t SetDTRLine(bool on);
    virtual std::int16_t SetRTSLine(bool on);
    virtual std::int32_t SpaceFreeInRXBuffer();
    virtual std::int32_t SpaceFreeInTXBuffer();
    virtual std::int32_t SpaceUsedInRXBuffer();
    virtual std::int32_t SpaceUsedInTXBuffer();
    // "COM1,COM3" and a zero byte, cut to fit the buffer (after the start-up probe).
    virtual void GetAvailableCOMM(std::span<std::uint8_t> buffer);
    // The same list; `afterProbe` false: the ports found so far, for the window, which never
    // waits for a device.
    static std::string AvailablePorts(bool afterProbe);
    virtual void AbortXfert();

    // --- Timed reads in tries ------------------------------------------------------------
    // The read ReadFromPortTimed (kBytes: buffer, n), ReadStringFromPortTimed (kString:
    // buffer, n, terminator) or ReadCharFromPortTimed (kChar) starts; one refused at once
    // (not connected, a stream takes the bytes, no room) is done already.
    TimedRead StartTimedRead(TimedRead::Kind kind, std::span<std::uint8_t> buffer = {},
                             std::int16_t n = 0, std::int16_t terminator = -1);
    // One try: takes what the port received. True when the read has its answer (all it
    // asked for, its terminator, the channel was closed). Takes the server lock.
    bool TryTimedRead(TimedRead& read);
    // The member's answer once done or out of time; the views hear of the bytes taken.
    std::int16_t EndTimedRead(TimedRead& read);
    // What a wait for this channel's bytes sleeps on: the port's arrival descriptor and
    // wake-ups (a channel closed meanwhile wakes it too); nothing when not connected.
    plat::WaitTarget ReceiveWaitTarget();

    // --- XMODEM link (the transfer thread) --------------------------------------------
    // Collects up to dest.size() bytes (at most 32767) within ms.
    std::int16_t ReadFromPortTimed(std::span<std::uint8_t> dest, std::int32_t ms) override;
    std::int32_t GetAbortRequest() override { return abortRequest_.load(); }
    void SetAbortRequest(std::int32_t value) override { abortRequest_.store(value); }
    // Client references of the transfer thread (ExternalAddRef / ExternalRelease under
    // the server lock). The last release may close the document: with a release poster
    // installed, Release hands the release to it (the application posts it to the
    // window thread, where documents are destroyed); without one it releases at once.
    void AddRef() override;
    void Release() override;
    using ReleasePoster = std::function<void(std::function<void()> release)>;
    static void SetReleasePoster(ReleasePoster poster);

protected:
    // Detaches from the port and drops both buffers, without title or view updates.
    void Disconnect();
    // True when the port is open and another channel owns its write lock.
    bool LockedByOther() const;
    // Tries the read until done or ms have passed, sleeping on ReceiveWaitTarget.
    void WaitForRead(TimedRead& read, std::int32_t ms);

private:
    // A stream reads and writes the buffers as the channel's own operations do.
    friend class ChannelStream;

    // The state part of the title: "COM2:9600,N,8,1." or "Not Connected.".
    std::string TitleState() const;
    void StoreCcf(tfw::CArchive& ar);
    void LoadCcf(tfw::CArchive& ar);

    CSharedPort* port_ = nullptr;
    std::atomic<std::int32_t> abortRequest_{0};
    std::unique_ptr<CChannelBuffer> rxBuffer_;
    std::unique_ptr<CChannelBuffer> txBuffer_;
    std::unique_ptr<ChannelStream> stream_;
};

}  // namespace tolvan
