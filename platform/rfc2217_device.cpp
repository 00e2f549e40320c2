// A serial port served over telnet with the com-port option: data in binary
// transmission with IAC doubled, line settings, modem lines, break and purges as
// sub-negotiations. Nothing waits for the server's answers: they are read along with the
// data, and the modem and line state it reports is kept for ModemStatus and Query.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>

#include "platform/comm_device.h"
#include "platform/net_address.h"
#include "platform/net_comm_device.h"
#include "platform/net_device.h"
#include "platform/telnet_codec.h"
#include "platform/termios_compose.h"

namespace tolvan::plat {

namespace {

using namespace telnet;

// Com-port option commands from the client; the server's answers and notices add 100.
constexpr uint8_t kSetBaudrate = 1;
constexpr uint8_t kSetDatasize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopsize = 4;
constexpr uint8_t kSetControl = 5;
constexpr uint8_t kNotifyLinestate = 6;
constexpr uint8_t kNotifyModemstate = 7;
constexpr uint8_t kSetLinestateMask = 10;
constexpr uint8_t kSetModemstateMask = 11;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kFromServer = 100;

// SET-CONTROL values.
constexpr uint8_t kOutFlowNone = 1;
constexpr uint8_t kOutFlowXonXoff = 2;
constexpr uint8_t kOutFlowHardware = 3;
constexpr uint8_t kBreakOn = 5;
constexpr uint8_t kBreakOff = 6;
constexpr uint8_t kDtrOn = 8;
constexpr uint8_t kDtrOff = 9;
constexpr uint8_t kRtsOn = 11;
constexpr uint8_t kRtsOff = 12;
constexpr uint8_t kInFlowNone = 14;
constexpr uint8_t kInFlowXonXoff = 15;
constexpr uint8_t kInFlowHardware = 16;

// Line state bits of NOTIFY-LINESTATE that are line errors.
constexpr uint8_t kLineBreak = 0x10;
constexpr uint8_t kLineFraming = 0x08;
constexpr uint8_t kLineParity = 0x04;
constexpr uint8_t kLineOverrun = 0x02;
// The modem state bits are those of MS_CTS_ON, MS_DSR_ON, MS_RING_ON and MS_RLSD_ON; the
// low four are change flags.
constexpr uint8_t kModemLines = 0xF0;

// Decoded bytes held for the reader; beyond this the socket is left to fill, which
// holds the server back.
constexpr size_t kRxLimit = 64 * 1024;
// Wire bytes taken from the socket in one receive.
constexpr uint32_t kPullMost = 4096;
// Data bytes encoded and offered to the socket in one step.
constexpr uint32_t kTxChunk = 4096;
// Com-port requests kept while the server has not yet agreed to the option.
constexpr size_t kMaxHeld = 4096;
// How long data waits for the server's answer to the com-port option, so that the first
// bytes go out at the line settings asked for; a server that never answers gets them anyway.
constexpr std::chrono::milliseconds kDataWaitsForAnswer{1000};

class Rfc2217Device final : public NetCommDevice {
public:
    explicit Rfc2217Device(int fd)
        : NetCommDevice(fd), answerDue_(std::chrono::steady_clock::now() + kDataWaitsForAnswer) {
        Request(ours_, WILL, kOptBinary);
        Request(theirs_, DO, kOptBinary);
        Request(ours_, WILL, kOptComPort);
        AskForNotices();
        FlushOwed();
    }

    uint32_t Read(uint8_t* buf, uint32_t n, uint32_t* got) override {
        *got = 0;
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        const uint32_t take = static_cast<uint32_t>(std::min<size_t>(n, rx_.size()));
        std::copy_n(rx_.begin(), take, buf);
        rx_.erase(rx_.begin(), rx_.begin() + take);
        *got = take;
        return ERROR_SUCCESS;
    }

    uint32_t Write(const uint8_t* buf, uint32_t n, uint32_t* written) override {
        *written = 0;
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        if (!owed_.empty() || suspended_ || AwaitingAnswer()) return ERROR_SUCCESS;
        std::vector<uint8_t> wire;
        while (*written < n) {
            const uint32_t count = std::min(n - *written, kTxChunk);
            const std::span<const uint8_t> data(buf + *written, count);
            wire.clear();
            AppendEscaped(data, &wire);
            uint32_t sent = 0;
            const uint32_t e = NetSend(fd_, wire.data(), static_cast<uint32_t>(wire.size()), &sent);
            bool owedIac = false;
            *written += DataBytesCarried(data, sent, &owedIac);
            if (owedIac) owed_.push_back(IAC);
            if (e != ERROR_SUCCESS) return Lost(e);
            if (sent < wire.size()) break;
        }
        return FlushOwed();
    }

    uint32_t Query(uint32_t* errors, uint32_t* inQueue, uint32_t* outQueue) override {
        *errors = 0;
        *inQueue = 0;
        *outQueue = 0;
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        *inQueue = static_cast<uint32_t>(rx_.size());
        *outQueue = NetOutQueue(fd_) + static_cast<uint32_t>(owed_.size());
        *errors = lineErrors_;
        lineErrors_ = 0;
        return ERROR_SUCCESS;
    }

    uint32_t Apply(const Dcb& dcb) override {
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        ComposedTermios c;
        if (uint32_t e = ComposeTermios(termios{}, dcb, &c); e != ERROR_SUCCESS) return e;
        const uint32_t baud = c.wireBaud;
        ComPort(kSetBaudrate, {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                               static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)});
        ComPort(kSetDatasize, {dcb.ByteSize});
        // NOPARITY..SPACEPARITY are 1..5 on the wire; 1, 2 and 1.5 stop bits are 1, 2, 3.
        ComPort(kSetParity, {static_cast<uint8_t>(dcb.Parity + 1)});
        ComPort(kSetStopsize, {static_cast<uint8_t>(dcb.StopBits == ONESTOPBIT    ? 1
                                                    : dcb.StopBits == TWOSTOPBITS ? 2
                                                                                  : 3)});
        ComPort(kSetControl, {dcb.fOutxCtsFlow ? kOutFlowHardware
                              : dcb.fOutX      ? kOutFlowXonXoff
                                               : kOutFlowNone});
        ComPort(kSetControl, {dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? kInFlowHardware
                              : dcb.fInX                               ? kInFlowXonXoff
                                                                       : kInFlowNone});
        dcb_ = dcb;
        return SetLines(dcb.fDtrControl != DTR_CONTROL_DISABLE ? 1 : 0,
                        dcb.fRtsControl == RTS_CONTROL_DISABLE  ? 0
                        : dcb.fRtsControl == RTS_CONTROL_ENABLE ? 1
                                                                : -1);
    }

    uint32_t SetLines(int dtr, int rts) override {
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        if (dtr >= 0) ComPort(kSetControl, {dtr ? kDtrOn : kDtrOff});
        if (rts >= 0) ComPort(kSetControl, {rts ? kRtsOn : kRtsOff});
        return FlushOwed();
    }

    uint32_t SetBreak(bool on) override {
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        ComPort(kSetControl, {on ? kBreakOn : kBreakOff});
        return FlushOwed();
    }

    uint32_t ModemStatus(uint32_t* ms) override {
        *ms = 0;
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        *ms = modemState_ & kModemLines;
        return ERROR_SUCCESS;
    }

    // The server's buffers are purged by request; here the received bytes go at once.
    uint32_t Purge(bool rx, bool tx) override {
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        if (rx) {
            rx_.clear();
            // What the socket holds now came before the purge as well; what a peer that keeps
            // sending has on its way did not (and the purge must end).
            for (uint32_t queued = NetInQueue(fd_); queued > 0 && !peerClosed_;) {
                const uint32_t got = Pull(queued);
                rx_.clear();
                if (got == 0) break;
                queued -= got;
            }
        }
        if (rx || tx) ComPort(kPurgeData, {static_cast<uint8_t>((rx ? 1 : 0) | (tx ? 2 : 0))});
        return FlushOwed();
    }

    // Output held here as if XOFF had come: the server's line is not told, since its
    // suspend request stops the opposite direction.
    uint32_t Flow(bool resume) override {
        if (uint32_t e = Pump(); e != ERROR_SUCCESS) return e;
        suspended_ = !resume;
        return ERROR_SUCCESS;
    }

private:
    // Option states on each side, as in the usual telnet negotiation: asked, agreed, or not.
    enum class Opt : uint8_t { kNo, kWantYes, kYes };
    using Options = std::array<Opt, 256>;

    static bool WeOffer(uint8_t opt) { return opt == kOptBinary || opt == kOptComPort; }
    static bool WeAccept(uint8_t opt) { return opt == kOptBinary || opt == kOptSuppressGoAhead; }

    // Every modem line change, and the line errors (not "data ready" and the transmitter
    // bits, which change with every byte).
    void AskForNotices() {
        ComPort(kSetModemstateMask, {0xFF});
        ComPort(kSetLinestateMask, {kLineBreak | kLineFraming | kLineParity | kLineOverrun});
    }

    // The com-port option asked for and not yet answered, within the time data waits for it.
    bool AwaitingAnswer() const {
        return ours_[kOptComPort] == Opt::kWantYes && std::chrono::steady_clock::now() < answerDue_;
    }

    void Request(Options& side, uint8_t verb, uint8_t opt) {
        side[opt] = Opt::kWantYes;
        AppendOption(verb, opt, &owed_);
    }

    // A com-port sub-negotiation: sent once the server agreed to the option, dropped
    // when it refused.
    void ComPort(uint8_t command, std::initializer_list<uint8_t> value) {
        if (ours_[kOptComPort] == Opt::kNo) return;
        std::vector<uint8_t> payload{command};
        payload.insert(payload.end(), value);
        const bool agreed = ours_[kOptComPort] == Opt::kYes;
        // A server that never answers must not make the held requests grow without end; the
        // masks and the newest settings are the ones that matter.
        if (!agreed && heldComPort_.size() > kMaxHeld) {
            heldComPort_.clear();
            AskForNotices();
        }
        AppendSubnegotiation(kOptComPort, payload, agreed ? &owed_ : &heldComPort_);
    }

    // Takes in what the socket holds (and acts on the server's commands), then sends
    // what is owed. A closed connection counts as gone once the bytes before it are read.
    // One call takes at most kRxLimit wire bytes: a server that keeps sending commands alone
    // never fills rx_, and must not keep the caller here.
    uint32_t Pump() {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        for (size_t taken = 0; !peerClosed_ && rx_.size() < kRxLimit && taken < kRxLimit;) {
            const uint32_t got = Pull();
            if (got == 0) break;
            taken += got;
        }
        if (peerClosed_ && rx_.empty()) return Lost(ERROR_DEVICE_NOT_CONNECTED);
        if (lost_ != ERROR_SUCCESS) return Lost(lost_);
        if (peerClosed_) return ERROR_SUCCESS;
        return FlushOwed();
    }

    // One receive of at most `most` bytes into the decoder; the number of wire bytes taken.
    uint32_t Pull(uint32_t most = kPullMost) {
        uint8_t wire[kPullMost];
        uint32_t got = 0;
        const uint32_t e = NetReceive(fd_, wire, std::min<uint32_t>(most, sizeof wire), &got);
        if (e == ERROR_DEVICE_NOT_CONNECTED)
            peerClosed_ = true;
        else if (e != ERROR_SUCCESS)
            lost_ = e;
        if (got == 0) return 0;
        data_.clear();
        commands_.clear();
        decoder_.Feed(std::span<const uint8_t>(wire, got), &data_, &commands_);
        rx_.insert(rx_.end(), data_.begin(), data_.end());
        for (const Command& c : commands_) Handle(c);
        return got;
    }

    void Handle(const Command& c) {
        switch (c.verb) {
            case DO:
                Asked(ours_, c.option, true, WeOffer(c.option), WILL, WONT);
                break;
            case DONT:
                Asked(ours_, c.option, false, false, WILL, WONT);
                break;
            case WILL:
                Asked(theirs_, c.option, true, WeAccept(c.option), DO, DONT);
                break;
            case WONT:
                Asked(theirs_, c.option, false, false, DO, DONT);
                break;
            case SB:
                if (c.option != kOptComPort || c.payload.size() < 2) break;
                if (c.payload[0] == kFromServer + kNotifyModemstate) {
                    modemState_ = c.payload[1];
                } else if (c.payload[0] == kFromServer + kNotifyLinestate) {
                    const uint8_t s = c.payload[1];
                    if (s & kLineBreak) lineErrors_ |= CE_BREAK;
                    if (s & kLineFraming) lineErrors_ |= CE_FRAME;
                    if (s & kLineParity) lineErrors_ |= CE_RXPARITY;
                    if (s & kLineOverrun) lineErrors_ |= CE_OVERRUN;
                }
                break;
            default:
                break;  // NOP, go-ahead and the like carry nothing for a serial line
        }
    }

    // The peer asks to turn an option of `side` on (or off). Answers only what changes
    // the state, so that two sides cannot answer each other for ever.
    void Asked(Options& side, uint8_t opt, bool on, bool acceptable, uint8_t yes, uint8_t no) {
        Opt& s = side[opt];
        if (on) {
            if (s == Opt::kYes) return;
            if (s == Opt::kWantYes) {
                s = Opt::kYes;
            } else if (acceptable) {
                s = Opt::kYes;
                AppendOption(yes, opt, &owed_);
            } else {
                AppendOption(no, opt, &owed_);
            }
        } else {
            if (s == Opt::kNo) return;
            if (s == Opt::kYes) AppendOption(no, opt, &owed_);
            s = Opt::kNo;
        }
        if (&side == &ours_ && opt == kOptComPort) {
            if (s == Opt::kYes) owed_.insert(owed_.end(), heldComPort_.begin(), heldComPort_.end());
            heldComPort_.clear();
        }
    }

    // Sends protocol bytes that are due, as far as the socket takes them.
    uint32_t FlushOwed() {
        if (owed_.empty() || gone_ || peerClosed_) return ERROR_SUCCESS;
        uint32_t sent = 0;
        const uint32_t e = NetSend(fd_, owed_.data(), static_cast<uint32_t>(owed_.size()), &sent);
        owed_.erase(owed_.begin(), owed_.begin() + sent);
        return e == ERROR_SUCCESS ? e : Lost(e);
    }

    std::chrono::steady_clock::time_point answerDue_;
    bool peerClosed_ = false;
    uint32_t lost_ = ERROR_SUCCESS;  // a receive failure other than a hang-up
    Decoder decoder_;
    std::deque<uint8_t> rx_;
    std::vector<uint8_t> data_;
    std::vector<Command> commands_;
    std::vector<uint8_t> owed_;         // protocol bytes that go before any further data
    std::vector<uint8_t> heldComPort_;  // com-port requests until the server agrees
    Options ours_{};
    Options theirs_{};
    uint8_t modemState_ = 0;
    uint32_t lineErrors_ = 0;
};

}  // namespace

std::unique_ptr<CommDevice> MakeRfc2217Device(int fd) {
    return std::make_unique<Rfc2217Device>(fd);
}

}  // namespace tolvan::plat
