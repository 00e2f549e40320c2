// Feeds what a network peer sends to the telnet decoder and to the com-port device over a
// connected socket pair, and checks that what we encode decodes back whole.
//
// The first byte picks the mode, the second seeds how the input is cut. Mode 0: the rest is
// wire bytes; decoded in one piece, byte by byte or in cuts, they give the same data and
// commands, no more data than the wire held, and encoding the result again decodes to it.
// Mode 1: the rest builds data, option commands and sub-negotiations; encoded and decoded in
// cuts they come back exactly, and every cut of the escaped data counts its bytes right.
// Mode 2: the rest is a com-port server's bytes in pieces, each followed by one call on the
// device; the device must read exactly the data the server sent (less what a purge dropped),
// report the newest modem state and the line errors sent since the last query, keep
// settings whole or not at all, hold output while flow is stopped, answer each option
// command at most once, send com-port requests only after the server agreed to the option,
// and send what it accepted to write whole and in order.
#include "platform/comm_types.h"
#include "platform/net_device.h"
#include "platform/telnet_codec.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <span>
#include <vector>

namespace {

using namespace tolvan::plat;
using namespace tolvan::plat::telnet;
using Bytes = std::vector<uint8_t>;

// A broken property names its line, so the report of a crashing input says which.
void Check(bool ok, int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "property broken at line %d of %s\n", line, __FILE__);
    std::abort();
}

bool SameCommands(const std::vector<Command>& a, const std::vector<Command>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].verb != b[i].verb || a[i].option != b[i].option || a[i].payload != b[i].payload)
            return false;
    return true;
}

bool IsOptionVerb(uint8_t verb) {
    return verb == WILL || verb == WONT || verb == DO || verb == DONT;
}

// Cuts of 1..16 bytes from a small generator, so a cut falls anywhere in a sequence.
class Cutter {
public:
    explicit Cutter(uint8_t seed) : state_(seed * 2654435761u + 1) {}
    size_t Next() {
        state_ = state_ * 1103515245u + 12345u;
        return 1 + (state_ >> 16) % 16;
    }

private:
    uint32_t state_;
};

struct Decoded {
    Bytes data;
    std::vector<Command> commands;
};

Decoded DecodeInCuts(std::span<const uint8_t> wire, Cutter cutter) {
    Decoded out;
    Decoder decoder;
    for (size_t at = 0; at < wire.size();) {
        const size_t n = std::min(cutter.Next(), wire.size() - at);
        decoder.Feed(wire.subspan(at, n), &out.data, &out.commands);
        at += n;
    }
    return out;
}

// Mode 0: any wire bytes.
void DecodeWire(uint8_t seed, std::span<const uint8_t> wire) {
    Decoded whole;
    Decoder one;
    one.Feed(wire, &whole.data, &whole.commands);
    Check(whole.data.size() <= wire.size());

    // Byte by byte, re-encoding in arrival order as we go.
    Decoded single;
    Decoder each;
    Bytes again;
    for (uint8_t b : wire) {
        const size_t data = single.data.size(), commands = single.commands.size();
        each.Feed(std::span<const uint8_t>(&b, 1), &single.data, &single.commands);
        Check(single.data.size() - data + single.commands.size() - commands <= 1);
        if (single.data.size() > data)
            AppendEscaped(std::span<const uint8_t>(&single.data.back(), 1), &again);
        if (single.commands.size() > commands) {
            const Command& c = single.commands.back();
            Check(c.payload.size() <= 256);
            if (c.verb == SB)
                AppendSubnegotiation(c.option, c.payload, &again);
            else if (IsOptionVerb(c.verb))
                AppendOption(c.verb, c.option, &again);
            else
                again.insert(again.end(), {IAC, c.verb});
            if (c.verb != SB) Check(c.payload.empty());
            if (!IsOptionVerb(c.verb) && c.verb != SB) Check(c.option == 0);
        }
    }
    Check(single.data == whole.data && SameCommands(single.commands, whole.commands));

    const Decoded cut = DecodeInCuts(wire, Cutter(seed));
    Check(cut.data == whole.data && SameCommands(cut.commands, whole.commands));

    // What came out, encoded again, decodes to itself.
    const Decoded re = DecodeInCuts(again, Cutter(seed + 1));
    Check(re.data == whole.data && SameCommands(re.commands, whole.commands));
}

// Mode 1: what we encode.
void RoundTrip(uint8_t seed, FuzzedDataProvider& in) {
    Bytes wire;
    Decoded expect;
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
            case 0: {
                const Bytes data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 64));
                const size_t start = wire.size();
                AppendEscaped(data, &wire);
                const std::span<const uint8_t> escaped(wire.data() + start, wire.size() - start);
                // Every cut of the escaped bytes: the count of data bytes whose first wire
                // byte went, and a half pair owed exactly when the cut split a doubled IAC.
                for (uint32_t sent = 0; sent <= escaped.size(); ++sent) {
                    bool owed = true;
                    const uint32_t n = DataBytesCarried(data, sent, &owed);
                    Bytes prefix;
                    AppendEscaped(std::span<const uint8_t>(data.data(), n), &prefix);
                    Check(n <= data.size() && prefix.size() >= sent);
                    if (n > 0) Check(prefix.size() - (data[n - 1] == IAC ? 2 : 1) < sent);
                    Check(owed == (prefix.size() > sent));
                }
                expect.data.insert(expect.data.end(), data.begin(), data.end());
                break;
            }
            case 1: {
                const uint8_t verbs[] = {WILL, WONT, DO, DONT};
                const uint8_t verb = verbs[in.ConsumeIntegralInRange(0, 3)];
                const uint8_t option = in.ConsumeIntegral<uint8_t>();
                AppendOption(verb, option, &wire);
                expect.commands.push_back(Command{verb, option, {}});
                break;
            }
            case 2: {
                const uint8_t option = in.ConsumeIntegral<uint8_t>();
                const Bytes payload = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 256));
                AppendSubnegotiation(option, payload, &wire);
                expect.commands.push_back(Command{SB, option, payload});
                break;
            }
            default: {
                // A two-byte command (NOP, break, go-ahead, ...).
                const uint8_t verb = in.ConsumeIntegralInRange<uint8_t>(SE, SB - 1);
                wire.insert(wire.end(), {IAC, verb});
                expect.commands.push_back(Command{verb, 0, {}});
                break;
            }
        }
    }
    const Decoded got = DecodeInCuts(wire, Cutter(seed));
    Check(got.data == expect.data && SameCommands(got.commands, expect.commands));
}

// Mode 2: the com-port device against a server that sends anything.
static_assert(CE_BREAK == 0x10 && CE_FRAME == 0x08 && CE_RXPARITY == 0x04 && CE_OVERRUN == 0x02);

class ComPortPeer {
public:
    ComPortPeer() {
        int fds[2];
        Check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
        peer_ = fds[1];
        device = MakeRfc2217Device(fds[0]);
    }
    ~ComPortPeer() {
        device.reset();
        ::close(peer_);
    }
    ComPortPeer(const ComPortPeer&) = delete;
    ComPortPeer& operator=(const ComPortPeer&) = delete;

    // What the server sends; the reference decoder follows it.
    void Send(std::span<const uint8_t> bytes) {
        Check(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
              static_cast<ssize_t>(bytes.size()));
        Decoded d;
        server_.Feed(bytes, &d.data, &d.commands);
        pending.insert(pending.end(), d.data.begin(), d.data.end());
        for (const Command& c : d.commands) {
            if (IsOptionVerb(c.verb)) ++optionCommandsIn;
            if (c.verb == DO && c.option == kOptComPort) comPortAgreed = true;
            if (c.verb != SB || c.option != kOptComPort || c.payload.size() < 2) continue;
            if (c.payload[0] == 107) modemState = c.payload[1];
            // The line state's error bits are the CE_ bits of the same errors.
            if (c.payload[0] == 106) lineErrorsDue |= c.payload[1] & 0x1Eu;
        }
    }
    void EndOfInput() { ::shutdown(peer_, SHUT_WR); }

    // Takes in what the device sent and checks it.
    void Collect() {
        uint8_t buf[4096];
        for (;;) {
            const ssize_t r = ::recv(peer_, buf, sizeof buf, MSG_DONTWAIT);
            if (r <= 0) break;
            Decoded d;
            client_.Feed(std::span<const uint8_t>(buf, static_cast<size_t>(r)), &d.data,
                         &d.commands);
            sentData.insert(sentData.end(), d.data.begin(), d.data.end());
            for (const Command& c : d.commands) {
                if (IsOptionVerb(c.verb)) {
                    ++optionCommandsOut;
                    continue;
                }
                Check(c.verb == SB && c.option == kOptComPort && !c.payload.empty());
                const uint8_t request = c.payload[0];
                // Settings, control, the two masks and purges: never a server's notice.
                Check((request >= 1 && request <= 5) || (request >= 10 && request <= 12));
                Check(comPortAgreed);
            }
        }
        // The constructor's three requests, then at most one answer per command.
        Check(optionCommandsOut <= 3 + optionCommandsIn);
    }

    std::unique_ptr<CommDevice> device;
    std::deque<uint8_t> pending;  // data sent by the server, not yet read
    uint8_t modemState = 0;
    uint32_t lineErrorsDue = 0;
    bool comPortAgreed = false;
    size_t optionCommandsIn = 0;
    size_t optionCommandsOut = 0;
    Bytes sentData;  // data the device sent

private:
    int peer_ = -1;
    Decoder server_;
    Decoder client_;
};

void ComPortDevice(FuzzedDataProvider& in) {
    ComPortPeer peer;
    CommDevice& dev = *peer.device;
    Bytes accepted;  // what the device took to write
    bool suspended = false;
    while (in.remaining_bytes() > 0) {
        const Bytes chunk = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 48));
        peer.Send(chunk);
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0: {
                const uint32_t n = in.ConsumeIntegralInRange<uint32_t>(1, 70000);
                Bytes buf(n);
                uint32_t got = 0;
                Check(dev.Read(buf.data(), n, &got) == ERROR_SUCCESS);
                Check(got == std::min<size_t>(n, peer.pending.size()));
                Check(std::equal(buf.begin(), buf.begin() + got, peer.pending.begin()));
                peer.pending.erase(peer.pending.begin(), peer.pending.begin() + got);
                break;
            }
            case 1: {
                uint32_t ms = 0xFFFF;
                Check(dev.ModemStatus(&ms) == ERROR_SUCCESS);
                Check(ms == (peer.modemState & 0xF0u));
                break;
            }
            case 2: {
                uint32_t errors = 0xFFFF, inQueue = 0, outQueue = 0;
                Check(dev.Query(&errors, &inQueue, &outQueue) == ERROR_SUCCESS);
                Check(inQueue == peer.pending.size());
                Check(errors == peer.lineErrorsDue);
                peer.lineErrorsDue = 0;
                break;
            }
            case 3: {
                const bool rx = in.ConsumeBool(), tx = in.ConsumeBool();
                Check(dev.Purge(rx, tx) == ERROR_SUCCESS);
                // Everything the server sent before is in the socket: all of it goes.
                if (rx) peer.pending.clear();
                break;
            }
            case 4: {
                const Bytes data = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 32));
                uint32_t written = 0;
                Check(dev.Write(data.data(), static_cast<uint32_t>(data.size()), &written) ==
                      ERROR_SUCCESS);
                Check(written <= data.size());
                Check(!suspended || written == 0);
                accepted.insert(accepted.end(), data.begin(), data.begin() + written);
                break;
            }
            case 5: {
                Dcb dcb;
                dcb.BaudRate = in.ConsumeIntegral<uint32_t>();
                dcb.ByteSize = in.ConsumeIntegralInRange<uint8_t>(3, 9);
                dcb.Parity = in.ConsumeIntegralInRange<uint8_t>(0, 5);
                dcb.StopBits = in.ConsumeIntegralInRange<uint8_t>(0, 3);
                dcb.fOutxCtsFlow = in.ConsumeBool();
                dcb.fOutX = in.ConsumeBool();
                dcb.fInX = in.ConsumeBool();
                dcb.fDtrControl = in.ConsumeIntegralInRange<uint8_t>(0, 2);
                dcb.fRtsControl = in.ConsumeIntegralInRange<uint8_t>(0, 3);
                Dcb before;
                Check(dev.ReadState(&before) == ERROR_SUCCESS);
                const uint32_t e = dev.Apply(dcb);
                Dcb after;
                Check(dev.ReadState(&after) == ERROR_SUCCESS);
                // Settings taken are kept whole; refused ones change nothing.
                Check(after == (e == ERROR_SUCCESS ? dcb : before));
                break;
            }
            case 6:
                suspended = !in.ConsumeBool();
                Check(dev.Flow(!suspended) == ERROR_SUCCESS);
                break;
            default:
                Check(dev.SetLines(in.ConsumeIntegralInRange(-1, 1),
                                   in.ConsumeIntegralInRange(-1, 1)) == ERROR_SUCCESS);
                Check(dev.SetBreak(in.ConsumeBool()) == ERROR_SUCCESS);
                break;
        }
        peer.Collect();
    }
    Check(peer.sentData == accepted);

    // The server hangs up: what it sent before still reads, then the device is gone.
    peer.EndOfInput();
    Bytes buf(peer.pending.size() + 1);
    uint32_t got = 0;
    if (!peer.pending.empty()) {
        Check(dev.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got) == ERROR_SUCCESS);
        Check(got == peer.pending.size() &&
              std::equal(peer.pending.begin(), peer.pending.end(), buf.begin()));
    }
    Check(dev.Read(buf.data(), static_cast<uint32_t>(buf.size()), &got) ==
          ERROR_DEVICE_NOT_CONNECTED);
    Check(got == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::span<const uint8_t> rest(data + 2, size - 2);
    switch (data[0] % 3) {
        case 0:
            DecodeWire(data[1], rest);
            break;
        case 1: {
            FuzzedDataProvider in(rest.data(), rest.size());
            RoundTrip(data[1], in);
            break;
        }
        default: {
            FuzzedDataProvider in(rest.data(), rest.size());
            ComPortDevice(in);
            break;
        }
    }
    return 0;
}
