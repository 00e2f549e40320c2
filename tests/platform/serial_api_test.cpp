// The serial API on real ptys and on the in-process devices: opening by COM name,
// exclusive use, reads and writes under time-outs on the tick source, queues, lines,
// errors, and devices that go away.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "platform/sim_device.h"
#include "platform/ticks.h"
#include "tests/support/pty_pair.h"

namespace tolvan::plat {
namespace {

// Closes a handle at the end of a test.
struct Handle {
    explicit Handle(CommHandle h) : h(h) {}
    ~Handle() {
        if (h != kInvalidCommHandle) CloseComm(h);
    }
    CommHandle h;
};

uint32_t InQueue(CommHandle h) {
    ComStat s;
    uint32_t e = 0;
    EXPECT_TRUE(ClearCommError(h, &e, &s));
    return s.cbInQue;
}

std::string ReadAll(CommHandle h, uint32_t n) {
    std::string out(n, '\0');
    uint32_t got = 0;
    EXPECT_TRUE(ReadComm(h, out.data(), n, &got));
    out.resize(got);
    return out;
}

TEST(SerialApiLoop, WrittenBytesAndLinesComeBack) {
    Handle h(OpenComm("loop://echo"));
    ASSERT_NE(h.h, kInvalidCommHandle);
    uint32_t written = 0;
    ASSERT_TRUE(WriteComm(h.h, "abc\0d", 5, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(InQueue(h.h), 5u);
    EXPECT_EQ(ReadAll(h.h, 10), std::string("abc\0d", 5));
    EXPECT_EQ(ReadAll(h.h, 10), "");

    uint32_t ms = 0;
    ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(ms, MS_CTS_ON | MS_DSR_ON);  // DTR and RTS are up after open
    ASSERT_TRUE(EscapeCommFunction(h.h, CLRRTS));
    ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(ms, MS_DSR_ON);
    ASSERT_TRUE(EscapeCommFunction(h.h, CLRDTR));
    ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(ms, 0u);
    ASSERT_TRUE(EscapeCommFunction(h.h, SETRTS));
    ASSERT_TRUE(GetCommModemStatus(h.h, &ms));
    EXPECT_EQ(ms, MS_CTS_ON);
    EXPECT_FALSE(EscapeCommFunction(h.h, 77));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// A clock whose first pause runs an action (the far side answering), then ends at once
// when the descriptor it was given is readable.
class AnswerAtFirstPause final : public TickSource {
public:
    uint32_t Now() override { return now_; }
    bool Pause(uint32_t ms, int fd, short events) override {
        fds.push_back(fd);
        if (action) std::exchange(action, {})();
        pollfd p{fd, events, 0};
        if (fd >= 0 && ::poll(&p, 1, 0) == 1 && (p.revents & events)) return true;
        now_ += ms;
        return false;
    }
    std::function<void()> action;
    std::vector<int> fds;

private:
    uint32_t now_ = 5000;
};

TEST(SerialApiLoop, TimedReadSleepsUntilTheLoopedBytesArrive) {
    Handle h(OpenComm("loop://arrival"));
    ASSERT_NE(h.h, kInvalidCommHandle);
    ASSERT_TRUE(
        SetCommTimeouts(h.h, {.ReadIntervalTimeout = 0, .ReadTotalTimeoutConstant = 60000}));
    AnswerAtFirstPause clock;
    ScopedTickSource use(clock);
    clock.action = [&] {
        uint32_t written = 0;
        ASSERT_TRUE(WriteComm(h.h, "xyz", 3, &written));
    };
    EXPECT_EQ(ReadAll(h.h, 3), "xyz");
    ASSERT_FALSE(clock.fds.empty());
    EXPECT_GE(clock.fds.front(), 0) << "slept without the device's arrival descriptor";
    EXPECT_EQ(clock.Now(), 5000u);
}

TEST(SerialApiLoop, OneHandleAtATime) {
    Handle first(OpenComm("loop://excl"));
    ASSERT_NE(first.h, kInvalidCommHandle);
    EXPECT_EQ(OpenComm("loop://excl"), kInvalidCommHandle);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    Handle other(OpenComm("loop://other"));
    EXPECT_NE(other.h, kInvalidCommHandle) << "another loop name is another device";
    ASSERT_TRUE(CloseComm(first.h));
    first.h = kInvalidCommHandle;
    Handle again(OpenComm("loop://excl"));
    EXPECT_NE(again.h, kInvalidCommHandle);
}

TEST(SerialApiLoop, ComNamesGoThroughTheDeviceMap) {
    DeviceMap::Set(12, "loop://mapped");
    for (const char* name : {"COM12", "com12", "\\\\.\\COM12"}) {
        Handle h(OpenComm(name));
        EXPECT_NE(h.h, kInvalidCommHandle) << name;
        EXPECT_EQ(CommTarget(h.h), "loop://mapped");
    }
    DeviceMap::Remove(12);
    EXPECT_EQ(OpenComm("COM12"), kInvalidCommHandle);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    for (const char* name : {"sim://nobody", "socket://localhost:7000", ""}) {
        EXPECT_EQ(OpenComm(name), kInvalidCommHandle) << name;
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << name;
    }
}

TEST(SerialApiLoop, ClosedHandleIsInvalid) {
    const CommHandle h = OpenComm("loop://closed");
    ASSERT_TRUE(CloseComm(h));
    uint32_t n = 0;
    char c;
    EXPECT_FALSE(ReadComm(h, &c, 1, &n));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseComm(h));
    EXPECT_FALSE(SetCommState(h, Dcb{}));
}

class SerialApiSim : public ::testing::Test {
protected:
    void SetUp() override {
        dev = std::make_shared<SimDevice>("api");
        RegisterSimDevice("api", dev);
        h = OpenComm("sim://api");
        ASSERT_NE(h, kInvalidCommHandle);
    }
    void TearDown() override {
        CloseComm(h);
        UnregisterSimDevice("api");
    }
    // Waits cost no real time.
    FakeTickSource ticks;
    ScopedTickSource scoped{ticks};
    std::shared_ptr<SimDevice> dev;
    CommHandle h = kInvalidCommHandle;
};

TEST_F(SerialApiSim, HeldOutputIsCountedAndPurged) {
    dev->HoldTransmit(true);
    uint32_t written = 0;
    ASSERT_TRUE(WriteComm(h, "0123456789", 10, &written));
    EXPECT_EQ(written, 10u);
    ComStat s;
    ASSERT_TRUE(ClearCommError(h, nullptr, &s));
    EXPECT_EQ(s.cbOutQue, 10u);
    ASSERT_TRUE(PurgeComm(h, PURGE_TXCLEAR));
    ASSERT_TRUE(ClearCommError(h, nullptr, &s));
    EXPECT_EQ(s.cbOutQue, 0u);
    dev->HoldTransmit(false);
    EXPECT_TRUE(dev->TakeHostWritten().empty());
    ASSERT_TRUE(WriteComm(h, "ok", 2, &written));
    EXPECT_EQ(dev->TakeHostWritten(), (std::vector<uint8_t>{'o', 'k'}));
}

TEST_F(SerialApiSim, TimedWriteEndsWhenTheDeviceHasTheBytes) {
    ASSERT_TRUE(SetCommTimeouts(h, {.WriteTotalTimeoutConstant = 50}));
    dev->HoldTransmit(true);
    const uint32_t start = ticks.Now();
    uint32_t written = 0;
    EXPECT_TRUE(WriteComm(h, "abcd", 4, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(ticks.Now(), start);
    EXPECT_EQ(dev->HostQueuedTx(), 4u);
}

TEST_F(SerialApiSim, ReadWaitsOnTheTickSourceAndKeepsLineErrors) {
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = 0, .ReadTotalTimeoutConstant = 9000}));
    dev->InjectErrors(CE_FRAME);
    const uint32_t start = ticks.Now();
    char buf[4];
    uint32_t got = 7;
    EXPECT_TRUE(ReadComm(h, buf, 4, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(ticks.Now() - start, 9000u);
    // The error seen while waiting is reported by the next query, then gone.
    uint32_t errors = 0;
    ASSERT_TRUE(ClearCommError(h, &errors, nullptr));
    EXPECT_EQ(errors, CE_FRAME);
    ASSERT_TRUE(ClearCommError(h, &errors, nullptr));
    EXPECT_EQ(errors, 0u);

    // Enough bytes queued: no waiting at all.
    dev->DeliverToHost("wxyz!");
    const uint32_t before = ticks.Now();
    EXPECT_TRUE(ReadComm(h, buf, 4, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(ticks.Now(), before);

    // Return-at-first-byte mode: one byte is there, so it comes at once.
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = MAXDWORD,
                                    .ReadTotalTimeoutMultiplier = MAXDWORD,
                                    .ReadTotalTimeoutConstant = 500}));
    EXPECT_TRUE(ReadComm(h, buf, 4, &got));
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buf[0], '!');
    EXPECT_EQ(ticks.Now(), before);
    EXPECT_TRUE(ReadComm(h, buf, 4, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(ticks.Now() - before, 500u);
}

// A peer that answers only after the host has waited a while (polls count).
class LateAnswerPeer : public SimPeer {
public:
    void OnHostWrite(SimDevice&, std::span<const uint8_t>) override {}
    void OnHostPoll(SimDevice& dev) override {
        if (++polls == 5) dev.DeliverToHost("late");
    }
    int polls = 0;
};

TEST_F(SerialApiSim, PeerCanAnswerWhileTheHostWaits) {
    auto peer = std::make_shared<LateAnswerPeer>();
    dev->SetPeer(peer);
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = 0, .ReadTotalTimeoutConstant = 2000}));
    char buf[4];
    uint32_t got = 0;
    EXPECT_TRUE(ReadComm(h, buf, 4, &got));
    EXPECT_EQ(std::string(buf, got), "late");
    EXPECT_LT(ticks.Now() - 1000u, 2000u) << "returned before the time-out";
}

TEST_F(SerialApiSim, RefusedStateKeepsThePreviousOne) {
    Dcb d;
    ASSERT_TRUE(GetCommState(h, &d));
    d.BaudRate = 4800;
    ASSERT_TRUE(SetCommState(h, d));
    Dcb bad = d;
    bad.ByteSize = 9;
    EXPECT_FALSE(SetCommState(h, bad));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    Dcb now;
    ASSERT_TRUE(GetCommState(h, &now));
    EXPECT_EQ(now, d);
    EXPECT_EQ(dev->Settings(), d);
}

TEST_F(SerialApiSim, BreakAndVanishing) {
    ASSERT_TRUE(SetCommBreak(h));
    EXPECT_TRUE(dev->Break());
    ASSERT_TRUE(ClearCommBreak(h));
    EXPECT_FALSE(dev->Break());
    dev->Vanish();
    char c;
    uint32_t got = 0;
    EXPECT_FALSE(ReadComm(h, &c, 1, &got));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(ClearCommError(h, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    CloseComm(h);
    h = OpenComm("sim://api");
    EXPECT_EQ(h, kInvalidCommHandle);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SerialApiSimRegistry, FactoryMakesTheDeviceOnFirstOpen) {
    int made = 0;
    RegisterSimDeviceFactory("made", [&] {
        ++made;
        return std::make_shared<SimDevice>("made");
    });
    {
        Handle a(OpenComm("sim://made"));
        EXPECT_NE(a.h, kInvalidCommHandle);
    }
    Handle b(OpenComm("sim://made"));
    EXPECT_NE(b.h, kInvalidCommHandle);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(FindSimDevice("made")->Name(), "made");
    UnregisterSimDevice("made");
}

class SerialApiPty : public ::testing::Test {
protected:
    void SetUp() override {
        SetLockDirectory(locks.path());
        h = OpenComm(pty.slavePath());
        ASSERT_NE(h, kInvalidCommHandle) << GetLastError();
    }
    void TearDown() override {
        CloseComm(h);
        SetLockDirectory("/var/lock");
    }
    test::ScratchDir locks;
    test::PtyPair pty;
    CommHandle h = kInvalidCommHandle;
};

TEST_F(SerialApiPty, TimedReadTakesWhatCameWithinTheTimeOut) {
    // Pty bytes cross in the kernel's own time: each fake pause may block up to 1 ms.
    FakeTickSource ticks(1000, std::chrono::microseconds(1000));
    ScopedTickSource scoped(ticks);
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = 0, .ReadTotalTimeoutMultiplier = 25}));
    ASSERT_TRUE(pty.Write("ab"));
    char buf[8] = {};
    uint32_t got = 0;
    const uint32_t start = ticks.Now();
    EXPECT_TRUE(ReadComm(h, buf, 8, &got));
    EXPECT_EQ(std::string(buf, got), "ab");
    EXPECT_EQ(ticks.Now() - start, 200u);
}

TEST_F(SerialApiPty, UnboundedReadHandsTheServerLockBackWhileItWaits) {
    // All zero: wait until the bytes came.
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = 0}));
    std::string result;
    std::promise<void> reading;
    std::thread reader([&] {
        ServerLockGuard lock;
        reading.set_value();
        result = ReadAll(h, 3);
        EXPECT_TRUE(ServerLock::HeldByMe());
    });
    reading.get_future().wait();
    // Only possible while the reader waits without the lock.
    const bool taken = WaitFor([] { return ServerLock::TryLock(); }, 5000);
    EXPECT_TRUE(taken) << "the waiting read kept the server lock";
    EXPECT_TRUE(pty.Write("xyz"));
    if (taken) ServerLock::Unlock();
    reader.join();
    EXPECT_EQ(result, "xyz");
}

TEST_F(SerialApiPty, WaitingReadEndsWhenTheDeviceGoesAway) {
    ASSERT_TRUE(SetCommTimeouts(h, {.ReadIntervalTimeout = 0}));
    std::atomic<uint32_t> error{0};
    std::thread reader([&] {
        char c;
        uint32_t got = 0;
        if (!ReadComm(h, &c, 1, &got)) error = GetLastError();
    });
    pty.CloseSlave();
    pty.CloseMaster();
    reader.join();
    EXPECT_EQ(error.load(), ERROR_DEVICE_NOT_CONNECTED);
    uint32_t written = 0;
    EXPECT_FALSE(WriteComm(h, "x", 1, &written));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
}

TEST_F(SerialApiPty, TimedWriteToAStalledDeviceReturnsWhatWentOut) {
    FakeTickSource ticks;
    ScopedTickSource scoped(ticks);
    ASSERT_TRUE(SetCommTimeouts(h, {.WriteTotalTimeoutConstant = 100}));
    // Nobody reads the master: the pty fills up and the rest times out.
    std::vector<uint8_t> data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 251);
    const uint32_t start = ticks.Now();
    uint32_t written = 0;
    EXPECT_TRUE(WriteComm(h, data.data(), static_cast<uint32_t>(data.size()), &written));
    EXPECT_EQ(ticks.Now() - start, 100u);
    ASSERT_GT(written, 0u);
    ASSERT_LT(written, data.size());
    ComStat s;
    ASSERT_TRUE(ClearCommError(h, nullptr, &s));
    EXPECT_EQ(s.cbOutQue, 0u) << "what timed out is not sent later";
    const auto got = pty.Read(written, 500);
    ASSERT_EQ(got.size(), written);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin()));
    EXPECT_TRUE(pty.ReadAvailable(20).empty());
}

TEST_F(SerialApiPty, QueuedOutputReachesTheLineWithoutFurtherCalls) {
    // Far more than the pty holds: the rest waits in the handle's queue.
    std::vector<uint8_t> data(256 * 1024);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i % 253);
    uint32_t written = 0;
    ASSERT_TRUE(WriteComm(h, data.data(), static_cast<uint32_t>(data.size()), &written));
    ASSERT_EQ(written, data.size());
    ComStat s;
    ASSERT_TRUE(ClearCommError(h, nullptr, &s));
    ASSERT_GT(s.cbOutQue, 0u) << "the pty took everything at once; the test proves nothing";
    // Only the far end reads from here on: no call on the handle moves the queue.
    std::vector<uint8_t> got;
    for (int round = 0; round < 500 && got.size() < data.size(); ++round) {
        const auto piece = pty.Read(data.size() - got.size(), 20);
        got.insert(got.end(), piece.begin(), piece.end());
    }
    ASSERT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data);
}

TEST_F(SerialApiPty, ClosingWithOutputStillQueuedReturns) {
    std::vector<uint8_t> data(256 * 1024, 0x55);
    uint32_t written = 0;
    ASSERT_TRUE(WriteComm(h, data.data(), static_cast<uint32_t>(data.size()), &written));
    EXPECT_TRUE(CloseComm(h));
    h = kInvalidCommHandle;
    EXPECT_FALSE(WriteComm(h, data.data(), 1, &written));
}

TEST_F(SerialApiPty, StateReadAtOpenIsRawAndKept) {
    Dcb d;
    ASSERT_TRUE(GetCommState(h, &d));
    d.BaudRate = 2400;
    d.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h, d));
    termios t = pty.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B2400);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    // Canonical mode would hold these bytes back until a newline.
    ASSERT_TRUE(pty.Write("no newline"));
    std::string got;
    for (int i = 0; i < 2000 && got.size() < 10; ++i) {
        if (InQueue(h) == 0) ::usleep(500);
        got += ReadAll(h, 10);
    }
    EXPECT_EQ(got, "no newline");
}

}  // namespace
}  // namespace tolvan::plat
