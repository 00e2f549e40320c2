// Serial ports served over TCP (socket:// raw, rfc2217:// telnet with the com-port
// option), through the serial API and once through a channel, against a real listener on
// the loopback interface.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "channels/doc_comm.h"
#include "platform/device_map.h"
#include "platform/net_address.h"
#include "platform/net_closer.h"
#include "platform/serial_api.h"
#include "platform/telnet_codec.h"
#include "platform/ticks.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/tcp_peer.h"

namespace tolvan::plat {
namespace {

using Bytes = std::vector<uint8_t>;
using test::TcpPeer;

// At least n bytes the channel receives within 5 s (the idle service runs between reads).
Bytes ReadSoon(PortRegistry& registry, CDocComm& channel, size_t n) {
    Bytes got;
    std::vector<uint8_t> buf(16);
    WaitFor(
        [&] {
            registry.IdleService();
            const int16_t read = channel.ReadFromPort(buf, 16);
            if (read > 0) got.insert(got.end(), buf.begin(), buf.begin() + read);
            return got.size() >= n;
        },
        5000);
    return got;
}

struct Handle {
    explicit Handle(CommHandle h) : h(h) {}
    ~Handle() {
        if (h != kInvalidCommHandle) CloseComm(h);
    }
    CommHandle h;
};

Bytes AllByteValues() {
    Bytes b(256);
    for (int i = 0; i < 256; ++i) b[i] = static_cast<uint8_t>(i);
    return b;
}

// Reads n bytes, waiting up to two seconds of real time (returns as soon as they came).
Bytes ReadBytes(CommHandle h, uint32_t n) {
    CommTimeouts t;
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutConstant = 2000;
    EXPECT_TRUE(SetCommTimeouts(h, t));
    Bytes out(n);
    uint32_t got = 0;
    EXPECT_TRUE(ReadComm(h, out.data(), n, &got)) << GetLastError();
    out.resize(got);
    return out;
}

bool WriteBytes(CommHandle h, const Bytes& b) {
    uint32_t written = 0;
    return WriteComm(h, b.data(), static_cast<uint32_t>(b.size()), &written) && written == b.size();
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

TEST(NetAddress, HostAndPortFormsAndRefusals) {
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress("gateway:4001", &a));
    EXPECT_EQ(a.host, "gateway");
    EXPECT_EQ(a.port, 4001);
    ASSERT_TRUE(ParseNetAddress("[fe80::1%eth0]:65535", &a));
    EXPECT_EQ(a.host, "fe80::1%eth0");
    EXPECT_EQ(a.port, 65535);
    ASSERT_TRUE(ParseNetAddress("10.0.0.7:1", &a));
    EXPECT_EQ(a.host, "10.0.0.7");
    EXPECT_EQ(a.port, 1);
    for (const char* bad :
         {"", "host", "host:", ":4001", "h:0", "h:70000", "h:65536", "h:12a", "h:-1", "h: 1",
          "::1:4001", "[::1]4001", "[]:4001", "[::1:4001", "h o:1", "h/x:1", "user@h:1"}) {
        EXPECT_FALSE(ParseNetAddress(bad, &a)) << bad;
    }
}

// A send that stops anywhere in the doubled stream: what went, plus the owed half of a
// pair, is exactly the doubled form of the bytes counted as taken.
TEST(TelnetCodec, SendCutAnywhereCountsWholeBytesAndOwesHalfPairs) {
    const Bytes data = {1, 0xFF, 2, 0xFF, 0xFF, 3};
    const Bytes wire = test::TelnetEscaped(data);
    int owedSeen = 0;
    for (uint32_t k = 0; k <= wire.size(); ++k) {
        bool owed = false;
        const uint32_t n = telnet::DataBytesCarried(data, k, &owed);
        Bytes out(wire.begin(), wire.begin() + k);
        if (owed) out.push_back(0xFF), ++owedSeen;
        EXPECT_EQ(out, test::TelnetEscaped(Bytes(data.begin(), data.begin() + n)))
            << "cut at " << k;
    }
    EXPECT_EQ(owedSeen, 3);

    // And the way in: the same stream fed one byte at a time.
    telnet::Decoder decoder;
    Bytes in = {'a', 0xFF, 250, 44, 107, 0xFF, 0xFF, 0xFF, 240, 0xFF, 0xFF, 'b', 0xFF, 241, 'c'};
    Bytes got;
    std::vector<telnet::Command> commands;
    for (uint8_t b : in) decoder.Feed(std::span<const uint8_t>(&b, 1), &got, &commands);
    EXPECT_EQ(got, (Bytes{'a', 0xFF, 'b', 'c'}));
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].verb, telnet::SB);
    EXPECT_EQ(commands[0].payload, (Bytes{107, 0xFF}));
    EXPECT_EQ(commands[1].verb, 241);  // NOP
}

TEST(SocketDevice, AllByteValuesBothWaysAndALargeWriteArrivesWhole) {
    TcpPeer peer(4096);
    Handle h(OpenComm(peer.Url("socket")));
    ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
    ASSERT_TRUE(peer.Accept());
    EXPECT_EQ(CommTarget(h.h), peer.Url("socket"));

    const Bytes all = AllByteValues();
    ASSERT_TRUE(WriteBytes(h.h, all));
    EXPECT_EQ(peer.Read(all.size()), all);
    ASSERT_TRUE(peer.Send(all));
    EXPECT_EQ(ReadBytes(h.h, 256), all);

    // More than the socket buffers hold while the peer does not read: the handle queues
    // the rest and sends it as the peer drains it in small pieces.
    Bytes big(4 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_TRUE(WriteBytes(h.h, big));
    ComStat stat;
    uint32_t errors = 0;
    ASSERT_TRUE(ClearCommError(h.h, &errors, &stat));
    EXPECT_GT(stat.cbOutQue, 0u);
    const Bytes got = peer.Read(big.size(), 5000, 1024);
    ASSERT_EQ(got.size(), big.size());
    EXPECT_TRUE(got == big) << "bytes reordered or changed on the way";

    uint32_t ms = 0;
    ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(ms, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON) << "a live connection is a ready device";
}

TEST(SocketDevice, RefusedAndMalformedAddressesFailAtOnceWithoutLeaks) {
    uint16_t closedPort = 0;
    {
        TcpPeer gone;  // a port that was just free again: nobody listens there
        closedPort = gone.port();
    }
    // Connections of earlier tests in this process may still be closing in the background,
    // each holding its descriptor until it has.
    ASSERT_TRUE(WaitFor([] { return LingeringCloses() == 0; }, 2000));
    const int before = OpenDescriptors();
    for (const std::string& url :
         {"socket://127.0.0.1:" + std::to_string(closedPort),
          "rfc2217://127.0.0.1:" + std::to_string(closedPort), std::string("socket://"),
          std::string("socket://host"), std::string("socket://h:0"),
          std::string("socket://h:70000"), std::string("rfc2217://[::1"),
          std::string("telnet://127.0.0.1:23")}) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(OpenComm(url), kInvalidCommHandle) << url;
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << url;
    }
    // The same through a COM number, as a profile would map it.
    DeviceMap::Clear();
    DeviceMap::SetAutoAssign(false);
    DeviceMap::Set(5, "socket://h:0");
    EXPECT_EQ(OpenComm("COM5"), kInvalidCommHandle);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    DeviceMap::Clear();
    EXPECT_EQ(OpenDescriptors(), before) << "a failed open left a descriptor behind";

    // An address nobody answers (documentation range) and a name no resolver knows end
    // within the bound given, with an error, whatever the network around the test is.
    for (const NetAddress& silent :
         {NetAddress{"192.0.2.1", 4001}, NetAddress{"tolvan.invalid", 4001}}) {
        uint32_t error = ERROR_SUCCESS;
        EXPECT_EQ(ConnectTcp(silent, 200, &error), -1) << silent.host;
        EXPECT_TRUE(error == ERROR_TIMEOUT || error == ERROR_FILE_NOT_FOUND) << error;
    }
}

// A peer that goes away ends a read that waits without limit, and fails what follows
// the same way a vanished tty does; no SIGPIPE kills the process on the way.
class NetHangup : public ::testing::TestWithParam<std::tuple<const char*, bool>> {};

TEST_P(NetHangup, EndsAWaitingReadAndLaterCalls) {
    const auto [scheme, reset] = GetParam();
    TcpPeer peer;
    Handle h(OpenComm(peer.Url(scheme)));
    ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
    ASSERT_TRUE(peer.Accept());
    CommTimeouts t;
    t.ReadIntervalTimeout = 0;  // no total either: waits until the bytes come
    ASSERT_TRUE(SetCommTimeouts(h.h, t));

    auto reader = std::async(std::launch::async, [&] {
        uint8_t buf[8];
        uint32_t got = 0;
        const bool ok = ReadComm(h.h, buf, sizeof buf, &got);
        return std::make_pair(ok, GetLastError());
    });
    ASSERT_TRUE(peer.Send({'h', 'i'}));
    peer.ReadAvailable(20);  // the telnet greeting, if any
    peer.Hangup(reset);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const auto [ok, error] = reader.get();
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ERROR_DEVICE_NOT_CONNECTED);

    for (int i = 0; i < 2; ++i) {  // the first write may still find the socket open
        uint32_t written = 0;
        EXPECT_FALSE(WriteComm(h.h, "late", 4, &written));
        EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    }
    uint32_t ms = 0;
    EXPECT_FALSE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    ComStat stat;
    uint32_t errors = 0;
    EXPECT_FALSE(ClearCommError(h.h, &errors, &stat));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    // Writing on into a connection the peer has left, with no read in between: the send
    // that meets the closed socket fails instead of raising SIGPIPE.
    Handle writer(OpenComm(peer.Url(scheme)));
    ASSERT_NE(writer.h, kInvalidCommHandle) << GetLastError();
    ASSERT_TRUE(peer.Accept());
    peer.Hangup(reset);
    uint32_t written = 0;
    EXPECT_TRUE(WaitFor([&] { return !WriteComm(writer.h, "more", 4, &written); }, 2000));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
}

INSTANTIATE_TEST_SUITE_P(CloseAndReset, NetHangup,
                         ::testing::Combine(::testing::Values("socket", "rfc2217"),
                                            ::testing::Bool()));

// A peer that keeps sending, data or (over telnet) only commands: a query takes in what has
// come and a purge drops it, but neither reads on for what the peer has on its way, or it
// would hold its caller (and the server lock) for as long as the peer likes.
class NetFlood : public ::testing::TestWithParam<std::tuple<const char*, bool>> {};

TEST_P(NetFlood, QueriesAndPurgesEndWhileThePeerKeepsSending) {
    const auto [scheme, commandsOnly] = GetParam();
    TcpPeer peer;
    const CommHandle h = OpenComm(peer.Url(scheme));
    ASSERT_NE(h, kInvalidCommHandle) << GetLastError();
    ASSERT_TRUE(peer.Accept());
    Bytes chunk(64 * 1024, 'a');
    if (commandsOnly) {
        for (size_t i = 0; i + 1 < chunk.size(); i += 2) {
            chunk[i] = 0xFF;  // IAC NOP
            chunk[i + 1] = 241;
        }
    }
    // Far more than the socket buffers of both sides hold.
    constexpr uint64_t kBudget = uint64_t{64} << 20;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sent{0};
    std::thread flood([&] {
        while (!stop && sent < kBudget && peer.Send(chunk)) sent += chunk.size();
    });
    EXPECT_TRUE(WaitFor([&] { return sent > 0; }, 2000));
    ComStat stat;
    uint32_t errors = 0;
    EXPECT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_TRUE(PurgeComm(h, PURGE_RXCLEAR));
    const uint64_t sentByThen = sent;
    stop = true;
    CloseComm(h);  // a flood blocked in its send fails now
    flood.join();
    EXPECT_LT(sentByThen, kBudget) << "a call read on until the peer stopped sending";
}

INSTANTIATE_TEST_SUITE_P(Schemes, NetFlood,
                         ::testing::Values(std::make_tuple("socket", false),
                                           std::make_tuple("rfc2217", false),
                                           std::make_tuple("rfc2217", true)));

TEST(SocketDevice, ChannelOnAMappedComNumberCarriesBytesBothWays) {
    constexpr int16_t kCom = 6;
    TcpPeer peer;
    test::ScratchDir locks;
    test::MappedPort port;
    ASSERT_EQ(port.Map(kCom, peer.Url("socket"), locks.path()), 1);
    CDocComm channel;
    ASSERT_EQ(channel.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(peer.Accept());

    Bytes out = {'A', 'T', 0x00, 0xFF, 0x0D};
    ASSERT_EQ(channel.WriteToPort(out, static_cast<int16_t>(out.size())),
              static_cast<int16_t>(out.size()));
    EXPECT_EQ(peer.Read(out.size()), out);

    const Bytes in = {'O', 'K', 0xFF, 0x0D, 0x0A};
    ASSERT_TRUE(peer.Send(in));
    EXPECT_EQ(ReadSoon(port.registry, channel, in.size()), in);
}

TEST(SocketDevice, ProbingAMappedNetworkPortNeitherConnectsNorWaits) {
    test::ScratchDir locks;
    TcpPeer peer;
    test::MappedPort ports;
    ASSERT_EQ(ports.Map(5, peer.Url("rfc2217"), locks.path()), 1);
    DeviceMap::Set(6, "socket://127.0.0.1:0");      // no usable address
    DeviceMap::Set(7, "rfc2217://192.0.2.1:4001");  // a host that answers nobody
    ports.registry.ProbePorts();
    EXPECT_NE(ports.registry.FindPort(5), nullptr);
    EXPECT_EQ(ports.registry.FindPort(6), nullptr) << "a malformed address is no port";
    EXPECT_NE(ports.registry.FindPort(7), nullptr) << "there until a channel tries it";
    EXPECT_FALSE(peer.Accept(100)) << "the probe connected to the server";

    // The server is reached when a channel connects.
    CDocComm channel;
    ASSERT_EQ(channel.ConnectToPort(5, 9600, 'N', 8, 1), 0);
    EXPECT_TRUE(peer.Accept());
}

// The far end of an rfc2217:// handle: agrees to binary transmission and the com-port
// option, then watches what arrives. The device answers nothing of its own accord, so
// the test keeps it turning (ClearCommError) while waiting for the peer to see bytes.
class Rfc2217Test : public ::testing::Test {
protected:
    static constexpr uint8_t IAC = 0xFF, SB = 250, SE = 240, WILL = 251, DO = 253;

    void SetUp() override {
        h = OpenComm(peer.Url("rfc2217"));
        ASSERT_NE(h, kInvalidCommHandle) << GetLastError();
        ASSERT_TRUE(peer.Accept());
    }
    void Agree() { ASSERT_TRUE(peer.Send({IAC, DO, 44, IAC, DO, 0, IAC, WILL, 0})); }
    void TearDown() override {
        peer.Hangup();  // a close waits for the peer to let go; this one already has
        if (h != kInvalidCommHandle) CloseComm(h);
    }

    // A com-port sub-negotiation as it goes over the wire (0xFF in the value doubled).
    static Bytes ComPort(std::initializer_list<uint8_t> payload) {
        Bytes b{IAC, SB, 44};
        const Bytes value = test::TelnetEscaped(payload);
        b.insert(b.end(), value.begin(), value.end());
        b.insert(b.end(), {IAC, SE});
        return b;
    }

    // Collects what the peer receives until `run` is among it (two seconds at most).
    bool PeerSees(const Bytes& run) {
        for (int round = 0; round < 100 && !test::ContainsRun(seen, run); ++round) {
            ComStat stat;
            uint32_t errors = 0;
            ClearCommError(h, &errors, &stat);
            const Bytes more = peer.Read(1 << 20, 20);
            seen.insert(seen.end(), more.begin(), more.end());
        }
        return test::ContainsRun(seen, run);
    }

    uint32_t InQueue() {
        ComStat stat;
        uint32_t errors = 0;
        EXPECT_TRUE(ClearCommError(h, &errors, &stat));
        return stat.cbInQue;
    }

    // Sends `first`, waits until the device decoded `dataBefore` bytes of it, then sends
    // `second`: the two halves reach the device in separate reads.
    void SendSplit(const Bytes& first, uint32_t dataBefore, const Bytes& second) {
        ASSERT_TRUE(peer.Send(first));
        EXPECT_TRUE(WaitFor([&] { return InQueue() >= dataBefore; }, 2000));
        EXPECT_EQ(InQueue(), dataBefore);
        ASSERT_TRUE(peer.Send(second));
    }

    TcpPeer peer{4096};
    CommHandle h = kInvalidCommHandle;
    Bytes seen;
};

TEST_F(Rfc2217Test, SettingsLinesAndPurgesReachThePeerAsComPortRequests) {
    Agree();
    Dcb dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = 9600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h, dcb));
    for (const Bytes& run : {ComPort({1, 0x00, 0x00, 0x25, 0x80}), ComPort({2, 7}), ComPort({3, 3}),
                             ComPort({4, 2}), ComPort({5, 1}), ComPort({11, 0xFF})}) {
        EXPECT_TRUE(PeerSees(run)) << ::testing::PrintToString(run);
    }
    // The request for the com-port option went once; the peer's agreement is not answered
    // again (an answer to an answer would never end).
    EXPECT_EQ(test::CountRuns(seen, {IAC, WILL, 44}), 1);
    EXPECT_EQ(test::CountRuns(seen, {IAC, WILL, 0}), 1);
    EXPECT_EQ(test::CountRuns(seen, {IAC, DO, 0}), 1);

    // 57601 stands for 115200 on the wire; odd parity and hardware flow control.
    dcb.BaudRate = 57601;
    dcb.ByteSize = 8;
    dcb.Parity = ODDPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = true;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    ASSERT_TRUE(SetCommState(h, dcb));
    for (const Bytes& run : {ComPort({1, 0x00, 0x01, 0xC2, 0x00}), ComPort({3, 2}), ComPort({4, 1}),
                             ComPort({5, 3}), ComPort({5, 16})}) {
        EXPECT_TRUE(PeerSees(run)) << ::testing::PrintToString(run);
    }
    dcb.ByteSize = 9;
    EXPECT_FALSE(SetCommState(h, dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    for (const auto& [function, value] : std::vector<std::pair<uint32_t, uint8_t>>{
             {CLRDTR, 9}, {SETDTR, 8}, {CLRRTS, 12}, {SETRTS, 11}, {SETBREAK, 5}, {CLRBREAK, 6}}) {
        ASSERT_TRUE(EscapeCommFunction(h, function));
        EXPECT_TRUE(PeerSees(ComPort({5, value}))) << function;
    }
    ASSERT_TRUE(PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR));
    EXPECT_TRUE(PeerSees(ComPort({12, 3})));
}

TEST_F(Rfc2217Test, ComPortRequestsWaitForTheServersAgreement) {
    Dcb dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = 2400;
    ASSERT_TRUE(SetCommState(h, dcb));
    ASSERT_TRUE(EscapeCommFunction(h, CLRDTR));
    ASSERT_TRUE(PeerSees({IAC, WILL, 44}));
    seen = peer.ReadAvailable(50);
    EXPECT_FALSE(test::ContainsRun(seen, {IAC, SB, 44})) << "sent before the option was agreed";
    Agree();
    const Bytes masks = ComPort({11, 0xFF});
    const Bytes baud = ComPort({1, 0x00, 0x00, 0x09, 0x60});
    const Bytes dtr = ComPort({5, 9});
    ASSERT_TRUE(PeerSees(dtr));
    const auto at = [&](const Bytes& run) {
        return std::search(seen.begin(), seen.end(), run.begin(), run.end()) - seen.begin();
    };
    EXPECT_LT(at(masks), at(baud));
    EXPECT_LT(at(baud), at(dtr)) << "held requests keep their order";
}

TEST_F(Rfc2217Test, DataWrittenBeforeTheAgreementFollowsTheSettings) {
    Dcb dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = 2400;
    ASSERT_TRUE(SetCommState(h, dcb));
    const Bytes data = {'f', 'i', 'r', 's', 't'};
    ASSERT_TRUE(WriteBytes(h, data));
    ASSERT_TRUE(PeerSees({IAC, WILL, 44}));
    seen = peer.ReadAvailable(50);
    EXPECT_FALSE(test::ContainsRun(seen, data)) << "data went out at the line settings of before";
    Agree();
    const Bytes baud = ComPort({1, 0x00, 0x00, 0x09, 0x60});
    ASSERT_TRUE(PeerSees(data));
    ASSERT_TRUE(test::ContainsRun(seen, baud));
    const auto at = [&](const Bytes& run) {
        return std::search(seen.begin(), seen.end(), run.begin(), run.end()) - seen.begin();
    };
    EXPECT_LT(at(baud), at(data));
}

TEST_F(Rfc2217Test, DataKeepsEveryByteValueAndCommandsSplitAcrossReadsAreFiltered) {
    Agree();
    const Bytes all = AllByteValues();
    ASSERT_TRUE(WriteBytes(h, all));
    EXPECT_TRUE(PeerSees(test::TelnetEscaped(all)));
    ASSERT_TRUE(peer.Send(test::TelnetEscaped(all)));
    EXPECT_EQ(ReadBytes(h, 256), all);

    // Under back-pressure the socket takes part of a chunk, at times half of a doubled IAC.
    ASSERT_TRUE(PeerSees(ComPort({11, 0xFF})));  // the last request of the opening
    Bytes big(2 << 20);
    // Half the bytes 0xFF at random places, so that the cuts the kernel makes fall inside
    // pairs as well as between them.
    uint32_t seed = 12345;
    for (uint8_t& b : big) {
        seed = seed * 1103515245u + 12345u;
        b = (seed >> 16) & 1 ? 0xFF : static_cast<uint8_t>(seed >> 24);
    }
    ASSERT_TRUE(WriteBytes(h, big));
    const Bytes wire = test::TelnetEscaped(big);
    const Bytes got = peer.Read(wire.size(), 5000, 1000);
    ASSERT_EQ(got.size(), wire.size());
    EXPECT_TRUE(got == wire) << "bytes lost, reordered or not doubled";

    // An IAC pair cut in two.
    SendSplit({'A', IAC}, 1, {IAC, 'B'});
    EXPECT_EQ(ReadBytes(h, 3), (Bytes{'A', 0xFF, 'B'}));

    // A modem state notice cut inside, between data: CTS, DSR and DCD on.
    SendSplit({'x', IAC, SB, 44, 107}, 1, {0xB0, IAC, SE, 'y'});
    EXPECT_EQ(ReadBytes(h, 2), (Bytes{'x', 'y'}));
    uint32_t ms = 0;
    ASSERT_TRUE(GetCommModemStatus(h, &ms));
    EXPECT_EQ(ms, MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON);

    // RI with its change flag, then a framing and a parity error.
    ASSERT_TRUE(peer.Send(ComPort({107, 0x44})));
    ASSERT_TRUE(peer.Send(ComPort({106, 0x0C})));
    ASSERT_TRUE(peer.Send({'z'}));
    EXPECT_EQ(ReadBytes(h, 1), Bytes{'z'});
    ASSERT_TRUE(GetCommModemStatus(h, &ms));
    EXPECT_EQ(ms, MS_RING_ON);
    ComStat stat;
    uint32_t errors = 0;
    ASSERT_TRUE(ClearCommError(h, &errors, &stat));
    EXPECT_EQ(errors, CE_FRAME | CE_RXPARITY);
    EXPECT_EQ(stat.cbInQue, 0u);

    // Options the device does not take are refused, once each.
    ASSERT_TRUE(peer.Send({IAC, WILL, 1, IAC, DO, 24, 'k'}));
    EXPECT_EQ(ReadBytes(h, 1), Bytes{'k'});
    EXPECT_TRUE(PeerSees({IAC, 254, 1}));   // DONT echo
    EXPECT_TRUE(PeerSees({IAC, 252, 24}));  // WONT terminal type
}

// The real ser2net serving a pty over rfc2217: settings reach the tty behind it and every
// byte value crosses both ways. Skipped where ser2net is not installed.
class Ser2net {
public:
    // Starts ser2net for `device` on a free loopback port; port() is 0 when it could not.
    Ser2net(const std::string& device, const std::string& dir) {
        uint16_t port = 0;
        {
            TcpPeer probe;  // a port the system just handed out and that is free again
            port = probe.port();
        }
        const std::string config = dir + "/ser2net.yaml";
        if (FILE* f = std::fopen(config.c_str(), "w")) {
            std::fprintf(f,
                         "connection: &tolvan\n"
                         "  accepter: telnet(rfc2217),tcp,127.0.0.1,%u\n"
                         "  connector: serialdev,%s,9600n81,local\n",
                         static_cast<unsigned>(port), device.c_str());
            std::fclose(f);
        }
        const std::string pidFile = dir + "/ser2net.pid";
        std::vector<std::string> args = {"ser2net", "-n", "-d", "-c", config, "-P", pidFile};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&pid_, Path().c_str(), &actions, nullptr, argv.data(), environ) == 0)
            port_ = port;
        else
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Ser2net() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    static std::string Path() {
        for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
            if (::access(p, X_OK) == 0) return p;
        return {};
    }
    uint16_t port() const { return port_; }

private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

TEST(Rfc2217Ser2net, SettingsReachTheServedTtyAndEveryByteCrosses) {
    if (Ser2net::Path().empty()) GTEST_SKIP() << "ser2net is not installed";
    test::PtyPair pty;
    test::ScratchDir dir;
    Ser2net server(pty.slavePath(), dir.path());
    ASSERT_NE(server.port(), 0);
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(server.port());
    CommHandle opened = kInvalidCommHandle;
    // It takes ser2net a moment to listen; a refused connect fails at once.
    ASSERT_TRUE(WaitFor([&] { return (opened = OpenComm(url)) != kInvalidCommHandle; }, 5000));
    Handle h(opened);

    Dcb dcb;
    ASSERT_TRUE(GetCommState(h.h, &dcb));
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h.h, dcb));
    // A pty keeps 8 bits without parity whatever it is told; speed and stop bits show.
    termios t{};
    EXPECT_TRUE(WaitFor(
        [&] {
            ComStat stat;
            uint32_t errors = 0;
            ClearCommError(h.h, &errors, &stat);  // lets the held requests go once agreed
            return ::tcgetattr(pty.slave(), &t) == 0 && cfgetospeed(&t) == B19200 &&
                   (t.c_cflag & CSTOPB);
        },
        5000));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);

    const Bytes all = AllByteValues();
    ASSERT_TRUE(WriteBytes(h.h, all));
    EXPECT_EQ(pty.Read(all.size()), all);
    ASSERT_TRUE(pty.Write(all));
    EXPECT_EQ(ReadBytes(h.h, 256), all);

    // ser2net serves one connection per port: a port opened, closed and opened again at
    // once (as a channel's open does) must find it free, not a refusal in the data.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(CloseComm(h.h));
        h.h = OpenComm(url);
        ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
        ASSERT_TRUE(CloseComm(h.h));
        h.h = OpenComm(url);
        ASSERT_NE(h.h, kInvalidCommHandle) << GetLastError();
        const Bytes ping = {'p', 'i', 'n', 'g', static_cast<uint8_t>('0' + round)};
        ASSERT_TRUE(WriteBytes(h.h, ping));
        EXPECT_EQ(pty.Read(ping.size()), ping);
    }
}

// A channel on a port that ser2net serves, as a user connects one: the channel's line
// reaches the tty, bytes cross both ways, and a port left is taken again at once (ser2net
// serves one connection per port).
TEST(Rfc2217Ser2net, AChannelSetsTheServedLineAndCarriesBytes) {
    if (Ser2net::Path().empty()) GTEST_SKIP() << "ser2net is not installed";
    constexpr int16_t kCom = 6;
    test::PtyPair pty;
    test::ScratchDir dir;
    Ser2net server(pty.slavePath(), dir.path());
    ASSERT_NE(server.port(), 0);
    const std::string url = "rfc2217://127.0.0.1:" + std::to_string(server.port());
    // It takes ser2net a moment to listen; a refused connect fails at once.
    ASSERT_TRUE(WaitFor([&] { return Handle(OpenComm(url)).h != kInvalidCommHandle; }, 5000));
    test::MappedPort port;
    ASSERT_EQ(port.Map(kCom, url, dir.path()), 1);
    for (uint8_t round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        CDocComm channel;
        ASSERT_EQ(channel.ConnectToPort(kCom, 19200, 'E', 7, 2), 0);
        Bytes out = {'A', 'T', 0xFF, 0x0D, static_cast<uint8_t>('0' + round)};
        ASSERT_EQ(channel.WriteToPort(out, static_cast<int16_t>(out.size())),
                  static_cast<int16_t>(out.size()));
        EXPECT_EQ(pty.Read(out.size()), out);
        // The line went ahead of the bytes. A pty keeps 8 bits without parity whatever it is
        // told; speed and stop bits show.
        termios t{};
        EXPECT_TRUE(WaitFor(
            [&] {
                return ::tcgetattr(pty.slave(), &t) == 0 && cfgetospeed(&t) == B19200 &&
                       (t.c_cflag & CSTOPB);
            },
            2000));

        const Bytes in = {'O', 'K', 0xFF, static_cast<uint8_t>('0' + round)};
        ASSERT_TRUE(pty.Write(in));
        EXPECT_EQ(ReadSoon(port.registry, channel, in.size()), in);
    }
}

}  // namespace
}  // namespace tolvan::plat
