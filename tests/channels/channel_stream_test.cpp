// Channel streams on a real pty port: socket streams and terminals take every byte the
// device sends while polling channels still see them too; what a stream writes goes out as
// its channel's writes, held back whole by another channel's write lock; a slow stream
// loses only its own bytes; a lossless terminal holds the port instead.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "channels/channel_stream.h"
#include "platform/server_lock.h"
#include "tests/channels/doc_comm_fixture.h"

namespace tolvan::commtest {
namespace {

using Clock = std::chrono::steady_clock;

// Reads from fd until n bytes came or `quietMs` passed without any.
Bytes ReadFd(int fd, size_t n, int quietMs = 2000) {
    Bytes out;
    std::vector<uint8_t> chunk(65536);
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0 || (p.revents & POLLIN) == 0) break;
        const ssize_t got = read(fd, chunk.data(), std::min(chunk.size(), n - out.size()));
        if (got <= 0) break;
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
    return out;
}

bool WriteFd(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, 2000) <= 0) return false;
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EAGAIN) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Real time: the reader thread works on its own clock.
template <class Pred>
bool Eventually(Pred pred, int ms = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pred();
}

Bytes Pattern(size_t n, uint8_t seed = 0) {
    Bytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((i * 7 + seed + i / 251) & 0xFF);
    return out;
}

int RawOpen(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    return fd;
}

class ChannelStream : public DocCommTest {
protected:
    // The client end of a's socket stream; -1 and a failure when refused.
    int Acquire(CDocComm& doc, const std::string& holder = ":1.7") {
        int fd = -1;
        std::string error;
        EXPECT_EQ(AcquireChannelStream(doc, holder, &fd, &error), 0) << error;
        return fd;
    }
    std::string Terminal(CDocComm& doc, bool lossless = false) {
        std::string path, error;
        EXPECT_EQ(OpenStreamTerminal(doc, lossless, &path, &error), 0) << error;
        return path;
    }
    StreamInfo Info(CDocComm& doc) { return DescribeStream(doc); }
};

TEST_F(ChannelStream, SocketTakesEveryByteWhilePollingChannelsStillSeeThem) {
    ASSERT_TRUE(ConnectBoth());
    const int client = Acquire(*a);
    ASSERT_GE(client, 0);

    // The device runs at most 20000 bytes ahead of the client (a lossy stream's client
    // must keep up), and b polls as before.
    const Bytes sent = Pattern(200000);
    Bytes streamed;
    for (size_t at = 0; at < sent.size(); at += 20000) {
        ASSERT_TRUE(pty.Write(Bytes(sent.begin() + static_cast<long>(at),
                                    sent.begin() + static_cast<long>(at + 20000))));
        const Bytes piece = ReadFd(client, 20000);
        streamed.insert(streamed.end(), piece.begin(), piece.end());
    }
    std::vector<uint8_t> buf(4096);
    EXPECT_TRUE(streamed == sent);
    // a's polled reads get nothing while its stream takes the bytes.
    EXPECT_EQ(a->ReadFromPort(buf, 4096), 0);
    EXPECT_EQ(Info(*a).passed, sent.size());
    EXPECT_EQ(Info(*a).lost, 0u);
    EXPECT_FALSE(a->IsOverflow());
    // b's ring is small: it lost the older bytes, but the newest are all there, in order.
    b->SetRBuffSize(32000);
    const Bytes tail = Pattern(1000, 3);
    ASSERT_TRUE(pty.Write(tail));
    ASSERT_EQ(ReadFd(client, tail.size()), tail);
    ASSERT_TRUE(Eventually([&] { return b->SpaceUsedInRXBuffer() >= 1000; }));
    ASSERT_EQ(b->ReadFromPort(buf, 1000), 1000);
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), buf.begin()));

    // What the client writes goes out as a's writes.
    ASSERT_TRUE(WriteFd(client, B("AT&V\r")));
    EXPECT_EQ(pty.Read(5), B("AT&V\r"));
    EXPECT_TRUE(Eventually([&] { return Info(*a).sent == 5; }));

    // Closing the client's end ends the stream: a reads by polling again.
    close(client);
    ASSERT_TRUE(Eventually([&] {
        plat::ServerLockGuard guard;
        return a->Stream() == nullptr;
    }));
    ASSERT_TRUE(pty.Write(B("back")));
    ASSERT_TRUE(Holds(*a, 4));
    EXPECT_EQ(a->ReadFromPort(buf, 16), 4);
}

TEST_F(ChannelStream, OneStreamPerChannelAndTheRefusalSaysWhy) {
    ASSERT_TRUE(ConnectBoth());
    const int client = Acquire(*a, ":1.42");
    ASSERT_GE(client, 0);
    int second = -1;
    std::string error, path;
    EXPECT_EQ(AcquireChannelStream(*a, ":1.43", &second, &error), -1);
    EXPECT_NE(error.find(":1.42"), std::string::npos) << error;
    EXPECT_EQ(OpenStreamTerminal(*a, false, &path, &error), -1);
    EXPECT_NE(error.find(":1.42"), std::string::npos) << error;

    // A terminal is the same terminal on every call; a socket is refused beside it.
    const std::string t1 = Terminal(*b);
    EXPECT_EQ(Terminal(*b), t1);
    EXPECT_EQ(AcquireChannelStream(*b, ":1.43", &second, &error), -1);
    EXPECT_NE(error.find(t1), std::string::npos) << error;
    close(client);
}

TEST_F(ChannelStream, TerminalIsRawAndCarriesBothWays) {
    ASSERT_TRUE(ConnectBoth());
    const std::string path = Terminal(*a);
    ASSERT_FALSE(path.empty());
    const int t = RawOpen(path);
    ASSERT_GE(t, 0);
    termios tio{};
    ASSERT_EQ(tcgetattr(t, &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON), 0u);
    ASSERT_TRUE(Eventually([&] { return Info(*a).programOpen; }));

    ASSERT_TRUE(pty.Write(B("line one\r\n")));
    EXPECT_EQ(ReadFd(t, 10), B("line one\r\n"));
    // Nothing the program got is echoed back to the device.
    ASSERT_TRUE(WriteFd(t, B("ATI\r")));
    EXPECT_EQ(FarEndGot(), "ATI\r");

    // The program's settings stay with the terminal: the port keeps its line.
    cfsetspeed(&tio, B300);
    tio.c_cflag |= CSTOPB;
    ASSERT_EQ(tcsetattr(t, TCSANOW, &tio), 0);
    EXPECT_EQ(LineOf(*a), "9600,N,8,1");
    // Modem lines fail as on any pty.
    int lines = 0;
    EXPECT_NE(ioctl(t, TIOCMGET, &lines), 0);
    close(t);
}

TEST_F(ChannelStream, TerminalReopenedAfterItsProgramExitsDropsAndCountsWhatCameBetween) {
    ASSERT_TRUE(ConnectBoth());
    const std::string path = Terminal(*a);
    // Nobody has it open yet: the bytes are dropped and counted.
    ASSERT_TRUE(pty.Write(B("unseen")));
    ASSERT_TRUE(Eventually([&] { return Info(*a).lost == 6; }));
    EXPECT_EQ(Info(*a).passed, 0u);

    for (int round = 0; round < 3; ++round) {
        const int t = RawOpen(path);
        ASSERT_GE(t, 0);
        ASSERT_TRUE(Eventually([&] { return Info(*a).programOpen; }));
        const std::string text = "round " + std::to_string(round);
        ASSERT_TRUE(pty.Write(B(text)));
        EXPECT_EQ(ReadFd(t, text.size()), B(text));
        // The program's last words go out even though it closes at once.
        ASSERT_TRUE(WriteFd(t, B("bye" + std::to_string(round))));
        close(t);
        EXPECT_EQ(pty.Read(4), B("bye" + std::to_string(round)));
        ASSERT_TRUE(Eventually([&] { return !Info(*a).programOpen; }));
        const uint64_t lostBefore = Info(*a).lost;
        ASSERT_TRUE(pty.Write(B("gap")));
        ASSERT_TRUE(Eventually([&] { return Info(*a).lost == lostBefore + 3; }));
    }
    // b, polling, saw every byte meanwhile.
    b->SetRBuffSize(4000);
}

TEST_F(ChannelStream, WriteLockHoldsTerminalBytesBackThenLetsThemGoWhole) {
    ASSERT_TRUE(ConnectBoth());
    const std::string path = Terminal(*a);
    const int t = RawOpen(path);
    ASSERT_GE(t, 0);
    b->LockPort();
    const Bytes message = Pattern(3000, 9);
    ASSERT_TRUE(WriteFd(t, message));
    // Nothing of it leaves while b holds the lock, and b's own writes do.
    EXPECT_TRUE(FarEndGot().empty());
    Bytes mine = B("from b");
    EXPECT_EQ(b->WriteToPort(mine, 6), 6);
    EXPECT_EQ(FarEndGot(), "from b");
    b->UnlockPort();
    EXPECT_EQ(pty.Read(message.size()), message);
    EXPECT_TRUE(Eventually([&] { return Info(*a).sent == message.size(); }));
    close(t);
}

TEST_F(ChannelStream, SlowSocketLosesOnlyItsOwnBytes) {
    ASSERT_TRUE(ConnectBoth());
    // a is a lossless terminal, so the device goes at the pace of its reader; b is a socket
    // whose client does not read at all until the end.
    const int fast = RawOpen(Terminal(*a, true));
    ASSERT_GE(fast, 0);
    ASSERT_TRUE(Eventually([&] { return Info(*a).programOpen; }));
    const int slow = Acquire(*b);
    const Bytes sent = Pattern(1500000, 5);
    std::thread device([&] { EXPECT_TRUE(pty.Write(sent)); });
    const Bytes got = ReadFd(fast, sent.size());
    device.join();
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    StreamInfo slowInfo;
    ASSERT_TRUE(Eventually([&] {
        slowInfo = Info(*b);
        return slowInfo.passed + slowInfo.lost + slowInfo.held == sent.size();
    }));
    EXPECT_GT(slowInfo.lost, 0u);
    EXPECT_TRUE(b->IsOverflow());
    EXPECT_FALSE(a->IsOverflow());
    EXPECT_EQ(Info(*a).lost, 0u);
    // The slow one got the start of what was sent and, once it reads, what its view kept:
    // the newest bytes. Each piece whole.
    const Bytes slowGot = ReadFd(slow, sent.size(), 200);
    ASSERT_EQ(slowGot.size(), slowInfo.passed + slowInfo.held);
    EXPECT_TRUE(std::equal(slowGot.begin(), slowGot.begin() + static_cast<long>(slowInfo.passed),
                           sent.begin()));
    EXPECT_TRUE(std::equal(slowGot.begin() + static_cast<long>(slowInfo.passed), slowGot.end(),
                           sent.end() - slowInfo.held));
    close(fast);
    close(slow);
}

TEST_F(ChannelStream, LosslessTerminalHoldsThePortInsteadOfLosing) {
    ASSERT_TRUE(ConnectBoth());
    const std::string path = Terminal(*a, true);
    const int t = RawOpen(path);
    ASSERT_GE(t, 0);
    ASSERT_TRUE(Eventually([&] { return Info(*a).programOpen; }));
    // More than the pty, the ring and the device queue hold together: the device's
    // writer must wait for the program to read.
    const Bytes sent = Pattern(400000, 11);
    std::thread device([&] { EXPECT_TRUE(pty.Write(sent)); });
    const Bytes got = ReadFd(t, sent.size());
    device.join();
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(Info(*a).lost, 0u);
    EXPECT_FALSE(a->IsOverflow());
    close(t);
}

}  // namespace
}  // namespace tolvan::commtest
