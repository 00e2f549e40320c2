// The shared port on real pseudo-terminals: fan-out of received bytes to every channel,
// overflow and the ring wrap, line settings seen by the far end, exclusive ownership of
// the device, a 1 MiB stream, two writers whose bytes wait behind a slow reader, and bytes
// that leave without further calls.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "tests/ports/shared_port_fixture.h"

namespace tolvan::sptest {
namespace {

constexpr int kCom = 2;

class SharedPortPtyTest : public SharedPortTest {
protected:
    void SetUp() override {
        SharedPortTest::SetUp();
        pty = &MapPty(kCom);
        ProbeOnly(kCom);
    }
    test::PtyPair* pty = nullptr;
};

// Whether another process can open the device right now.
bool OtherProcessCanOpen(const std::string& path) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const plat::CommHandle h = plat::OpenComm(path);
        ::_exit(h == plat::kInvalidCommHandle ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SharedPortPtyTest, EveryChannelSeesEveryReceivedByte) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a, &b}));
    ASSERT_TRUE(pty->Write("0123456789"));
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] { return a.Rx()->Count() == 10; }));
    EXPECT_EQ(b.Rx()->Count(), 10u) << "one poll feeds both views";

    EXPECT_EQ(a.ReadAll(), B("0123456789"));
    EXPECT_EQ(b.Rx()->Count(), 10u) << "a reading leaves b's bytes";
    EXPECT_EQ(b.ReadAll(), B("0123456789"));
    EXPECT_EQ(a.Rx()->Flags() & CChannelBuffer::Overflow, 0u);
}

TEST_F(SharedPortPtyTest, UnreadBytesBeyondTheRingOverflowBothViews) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a, &b}));
    ASSERT_EQ(port->RxSize(), 1050u);
    const Bytes data = Pattern(1100);
    ASSERT_TRUE(pty->Write(data));
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] {
        return (a.Rx()->Flags() & CChannelBuffer::Overflow) && port->RxPosition() == (1100 % 1050);
    }));
    for (ChannelDouble* c : {&a, &b}) {
        EXPECT_TRUE(c->Rx()->Flags() & CChannelBuffer::Overflow);
        EXPECT_EQ(c->Rx()->Count(), 1050u);
    }
    Bytes got(2000);
    got.resize(a.Rx()->Read(got));
    EXPECT_EQ(got, Bytes(data.end() - 1050, data.end())) << "the newest 1050 bytes";
}

TEST_F(SharedPortPtyTest, ReceivedBytesWrapAroundTheRingEnd) {
    ChannelDouble a;
    ASSERT_TRUE(Connect(kCom, {&a}));
    const Bytes head = Pattern(1000, 1);
    ASSERT_TRUE(pty->Write(head));
    Bytes seen;
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] {
        const Bytes got = a.ReadAll();
        seen.insert(seen.end(), got.begin(), got.end());
        return seen.size() >= 1000;
    }));
    ASSERT_EQ(port->RxPosition(), 1000u);

    const Bytes tail = Pattern(120, 2);
    ASSERT_TRUE(pty->Write(tail));
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] { return a.Rx()->Count() == 120; }));
    EXPECT_EQ(port->RxPosition(), 70u) << "50 at the end, 70 from the start";
    auto* ring = static_cast<const uint8_t*>(plat::GlobalLock(port->RxMemory()));
    ASSERT_NE(ring, nullptr);
    EXPECT_TRUE(std::equal(tail.begin(), tail.begin() + 50, ring + 1000));
    EXPECT_TRUE(std::equal(tail.begin() + 50, tail.end(), ring));
    plat::GlobalUnlock(port->RxMemory());
    EXPECT_EQ(a.ReadAll(), tail);
}

TEST_F(SharedPortPtyTest, SecondChannelWithOtherSettingsReconfiguresThePortForBoth) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a}));
    termios t = pty->MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    const int titlesBefore = a.titleRefreshes;

    ASSERT_EQ(registry.ConnectChannel(&b, kCom, 19200, 'N', 8, 2), 0);
    t = pty->MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_GT(a.titleRefreshes, titlesBefore) << "the first channel's title follows";
    EXPECT_EQ(a.title, "COM2 19200 N 8 2");
    EXPECT_EQ(b.title, "COM2 19200 N 8 2");
    EXPECT_EQ(b.hints.back(), 0);

    // Settings the line refuses leave the port as it was and report the driver status.
    ChannelDouble c;
    EXPECT_EQ(registry.ConnectChannel(&c, kCom, 50, 'N', 8, 1), -25);
    t = pty->MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(port->Channels().size(), 3u) << "the channel is attached all the same";
}

TEST_F(SharedPortPtyTest, TheLastChannelToLeaveClosesTheDevice) {
    ChannelDouble a, b;
    ASSERT_TRUE(OtherProcessCanOpen(pty->slavePath()));
    const size_t blocksBefore = plat::GlobalBlockCount();
    ASSERT_TRUE(Connect(kCom, {&a}));
    ASSERT_TRUE(Connect(kCom, {&b}));
    EXPECT_EQ(plat::GlobalBlockCount(), blocksBefore + 2);
    EXPECT_FALSE(OtherProcessCanOpen(pty->slavePath())) << "the port is held while in use";

    a.Disconnect();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_FALSE(OtherProcessCanOpen(pty->slavePath()));
    b.Disconnect();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(port->RxMemory(), 0u);
    EXPECT_EQ(plat::GlobalBlockCount(), blocksBefore) << "both rings freed";
    EXPECT_TRUE(OtherProcessCanOpen(pty->slavePath()));
    EXPECT_EQ(port->PollReceive(), -6);
    EXPECT_EQ(port->PushTransmit(5), -6);

    // And it opens again for the next channel.
    ASSERT_TRUE(Connect(kCom, {&a}));
    ASSERT_TRUE(pty->Write("again"));
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] { return a.Rx()->Count() == 5; }));
    EXPECT_EQ(a.ReadAll(), B("again"));
}

TEST_F(SharedPortPtyTest, ReconnectingTheOnlyChannelKeepsThePortOpen) {
    ChannelDouble a;
    ASSERT_TRUE(Connect(kCom, {&a}));
    ASSERT_EQ(port->LockFor(&a), 1);
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 4800, 'N', 8, 1), 0);
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->Channels().size(), 1u);
    EXPECT_EQ(port->LockOwner(), nullptr) << "re-attaching releases the lock";
    ASSERT_TRUE(pty->Write("xy"));
    ASSERT_TRUE(PumpUntil(*port, pty->slave(), [&] { return a.Rx()->Count() == 2; }));
}

TEST_F(SharedPortPtyTest, OneMebibyteReachesThreeReadingChannelsExactly) {
    ChannelDouble ch[3];
    for (auto& c : ch) ASSERT_EQ(registry.ConnectChannel(&c, kCom, 115200, 'N', 8, 1), 0);
    const Bytes data = Pattern(1 << 20, 77);
    std::atomic<bool> wrote{false};
    std::thread writer([&] {
        // Uneven pieces, so that piece and ring boundaries keep shifting.
        size_t at = 0, piece = 1;
        while (at < data.size()) {
            const size_t n = std::min(piece, data.size() - at);
            if (!pty->Write(Bytes(data.begin() + at, data.begin() + at + n))) break;
            at += n;
            piece = piece * 3 % 4093 + 1;
        }
        wrote = at == data.size();
    });

    Bytes got[3];
    const size_t chunk[3] = {4096, 333, 1};  // how much each channel takes per read call
    int round = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while ((got[0].size() < data.size() || got[1].size() < data.size() ||
            got[2].size() < data.size()) &&
           std::chrono::steady_clock::now() < deadline) {
        // A poll; then every channel reads all it holds, in its own steps, in turns.
        port->PollReceive();
        bool any = false;
        for (int i = 0; i < 3; ++i) {
            CChannelBuffer* rx = ch[(i + round) % 3].Rx();
            Bytes& out = got[(i + round) % 3];
            const size_t step = chunk[(i + round) % 3];
            while (rx->Count() > 0) {
                Bytes piece(std::min<size_t>(step, rx->Count()));
                piece.resize(rx->Read(piece));
                out.insert(out.end(), piece.begin(), piece.end());
                any = true;
            }
        }
        ++round;
        if (!any) {
            pollfd p{pty->slave(), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
    }
    writer.join();
    ASSERT_TRUE(wrote);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(got[i].size(), data.size()) << "channel " << i;
        EXPECT_TRUE(got[i] == data) << "channel " << i << " got other bytes";
        EXPECT_EQ(ch[i].Rx()->Flags() & CChannelBuffer::Overflow, 0u);
    }
}

int TxFree(PortObject* p) {
    plat::ServerLockGuard guard;
    return p->ops.TxFree(p);
}

// Writes filler through channel `c` until the device takes no more: nobody reads the
// far end, so the device's own queue fills up. Returns the filler written.
Bytes FillDevice(CSharedPort& port, ChannelDouble& c) {
    Bytes filler;
    PortObject* p = port.Port();
    for (int i = 0; i < 4096 && TxFree(p) > 0; ++i) {
        const Bytes piece = Pattern(500, 900 + i);
        const uint32_t stored = c.WriteToPort(piece);
        filler.insert(filler.end(), piece.begin(), piece.begin() + stored);
    }
    return filler;
}

// Reads the far end and keeps pushing until it has `n` bytes.
Bytes DrainFarEnd(test::PtyPair& pty, CSharedPort& port, ChannelDouble& pusher, size_t n) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
        const Bytes got = pty.Read(n - out.size(), 5);
        out.insert(out.end(), got.begin(), got.end());
        port.PushTransmit(pusher.TxCount());
    }
    return out;
}

TEST_F(SharedPortPtyTest, TwoWritersBehindASlowReaderKeepTheirBytesWhole) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a, &b}));
    const Bytes filler = FillDevice(*port, a);
    ASSERT_EQ(TxFree(port->Port()), 0) << "the device queue is full";
    ASSERT_EQ(a.TxCount(), b.TxCount()) << "every view shows the same pending data";
    const uint32_t pendingBefore = a.TxCount();

    const Bytes fromA(300, 'A');
    const Bytes fromB(200, 'B');
    ASSERT_EQ(a.WriteToPort(fromA), 300u);
    ASSERT_EQ(b.WriteToPort(fromB), 200u);
    // The kernel may take more of the queue meanwhile; the views still agree.
    EXPECT_EQ(a.TxCount(), b.TxCount());
    EXPECT_LE(a.TxCount(), pendingBefore + 500);

    Bytes expected = filler;
    expected.insert(expected.end(), fromA.begin(), fromA.end());
    expected.insert(expected.end(), fromB.begin(), fromB.end());
    const Bytes wire = DrainFarEnd(*pty, *port, b, expected.size());
    ASSERT_EQ(wire.size(), expected.size());
    EXPECT_TRUE(wire == expected) << "each writer's bytes arrive whole and in order";
    EXPECT_EQ(a.TxCount(), 0u);
    EXPECT_EQ(b.TxCount(), 0u);
}

TEST_F(SharedPortPtyTest, AChannelJoiningWhileBytesWaitWritesBehindThem) {
    ChannelDouble a;
    ASSERT_TRUE(Connect(kCom, {&a}));
    const Bytes filler = FillDevice(*port, a);
    const Bytes fromA(100, 'a');
    ASSERT_EQ(a.WriteToPort(fromA), 100u);

    ChannelDouble late;
    ASSERT_TRUE(Connect(kCom, {&late}));
    EXPECT_EQ(late.TxCount(), a.TxCount());
    const Bytes fromLate(50, 'L');
    ASSERT_EQ(late.WriteToPort(fromLate), 50u);

    Bytes expected = filler;
    expected.insert(expected.end(), fromA.begin(), fromA.end());
    expected.insert(expected.end(), fromLate.begin(), fromLate.end());
    const Bytes wire = DrainFarEnd(*pty, *port, late, expected.size());
    EXPECT_TRUE(wire == expected);
}

// A channel stores more than the device takes now and then only waits (for an answer, say):
// what it stored must still leave, whole and in order, with no further call on the port.
TEST_F(SharedPortPtyTest, StoredBytesLeaveWithoutFurtherCalls) {
    ChannelDouble a;
    ASSERT_TRUE(Connect(kCom, {&a}));
    Bytes data = FillDevice(*port, a);
    const Bytes command = Pattern(300, 77);
    const uint32_t stored = a.WriteToPort(command);
    ASSERT_GT(stored, 0u);
    ASSERT_GT(a.TxCount(), 0u) << "more than the device and its queue hold";
    data.insert(data.end(), command.begin(), command.begin() + stored);

    const Bytes wire = pty->Read(data.size(), 2000);
    ASSERT_EQ(wire.size(), data.size()) << "bytes stranded in the transmit ring";
    EXPECT_TRUE(wire == data);
    EXPECT_EQ(a.TxCount(), 0u);
}

}  // namespace
}  // namespace tolvan::sptest
