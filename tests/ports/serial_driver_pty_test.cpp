// The serial driver on real pseudo-terminals: data both ways, queue limits, line
// settings reaching the device, exclusive open against other processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/lock_file.h"
#include "platform/serial_api.h"
#include "ports/port_object.h"
#include "ports/serial_driver.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

// A child process that keeps running until the test lets it go.
class ChildProcess {
public:
    // `body` runs in the child before it signals readiness and blocks.
    template <typename F>
    explicit ChildProcess(F body) {
        int ready[2], hold[2];
        if (::pipe(ready) != 0 || ::pipe(hold) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            body();
            (void)!::write(ready[1], "r", 1);
            char c;
            (void)!::read(hold[0], &c, 1);  // returns when the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        release_ = hold[1];
        char c = 0;
        (void)!::read(ready[0], &c, 1);
        ::close(ready[0]);
    }
    ~ChildProcess() { Finish(); }
    void Finish() {
        if (release_ >= 0) ::close(release_);
        release_ = -1;
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

class SerialDriverPty : public ::testing::Test {
protected:
    static constexpr int kCom = 3;
    void SetUp() override {
        plat::SetLockDirectory(lockDir.path());
        plat::DeviceMap::Set(kCom, pty.slavePath());
        SetDefaultQueueSizes(1050, 1050);
    }
    void TearDown() override {
        if (port) port->ops.Close(port);
        plat::DeviceMap::Remove(kCom);
        plat::SetLockDirectory("/var/lock");
    }
    PortObject* Open(int32_t baud = 9600, int16_t stop = 1) {
        port = OpenWin32Port(kCom - 1, baud, 'N', 8, stop);
        return port;
    }
    // Opens, closes again, and returns the status of the open.
    int32_t StatusOfAnOpen() {
        const int32_t status = Open()->status;
        port->ops.Close(port);
        port = nullptr;
        return status;
    }
    std::string LockPath() const {
        return lockDir.path() + "/" + plat::LockFileName(pty.slavePath());
    }

    test::ScratchDir lockDir;
    test::PtyPair pty;
    PortObject* port = nullptr;
};

TEST_F(SerialDriverPty, BytesTravelBothWays) {
    ASSERT_EQ(Open()->status, 0);
    const std::string out = "ATZ\r\xff\x00 binary";
    EXPECT_EQ(port->ops.WriteBuffer(port, reinterpret_cast<const uint8_t*>(out.data()),
                                    static_cast<int32_t>(out.size())),
              0);
    EXPECT_EQ(port->count, static_cast<int32_t>(out.size()));
    const auto atMaster = pty.Read(out.size());
    EXPECT_EQ(std::string(atMaster.begin(), atMaster.end()), out);

    ASSERT_TRUE(pty.Write("hello"));
    ASSERT_EQ(pty.Read(0).size(), 0u);
    // The bytes cross the pty asynchronously: wait until the device counts them.
    for (int i = 0; i < 2000 && port->ops.RxUsed(port) < 5; ++i) ::usleep(500);
    uint8_t buf[10] = {};
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 10), 0);
    EXPECT_EQ(port->count, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), "hello");
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 10), -8);
    EXPECT_EQ(port->count, 0);
    EXPECT_EQ(port->status, 0);
}

TEST_F(SerialDriverPty, LongWriteIsCutAtTheTransmitQueue) {
    ASSERT_EQ(Open()->status, 0);
    std::vector<uint8_t> data(2000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(port->ops.WriteBuffer(port, data.data(), 2000), -9);
    EXPECT_EQ(port->count, 1050);
    EXPECT_EQ(port->status, -9);
    const auto got = pty.Read(1050);
    EXPECT_EQ(got, std::vector<uint8_t>(data.begin(), data.begin() + 1050));
    EXPECT_TRUE(pty.ReadAvailable(20).empty());
}

TEST_F(SerialDriverPty, BaudRateAndStopBitsReachTheDevice) {
    ASSERT_EQ(Open(19200, 2)->status, 0);
    termios t = pty.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    // 115200 is stored as 57601 and still runs at 115200.
    EXPECT_EQ(port->ops.SetLine(port, 115200, 'N', 8, 1), 0);
    EXPECT_EQ(SerialRecord(port)->dcb.BaudRate, 57601u);
    t = pty.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B115200);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    // A rate without a standard constant is set as a custom rate.
    EXPECT_EQ(port->ops.SetLine(port, 31250, 'N', 8, 1), 0);
    t = pty.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t) & CBAUD, static_cast<speed_t>(0010000)) << "BOTHER";
}

TEST_F(SerialDriverPty, PtyWithoutModemLinesTakesLineChangesQuietly) {
    ASSERT_EQ(Open()->status, 0);
    EXPECT_EQ(port->ops.SetDtr(port, false), 0);
    EXPECT_EQ(port->ops.UseRtsCts(port, true), 0);
    EXPECT_EQ(port->ops.UseRtsCts(port, false), 0);
    EXPECT_EQ(port->ops.ModemStatus(port), 0);
    EXPECT_EQ(port->ops.SendBreak(port, 0), 0);
    // A pty keeps 8 data bits without parity whatever is asked; that is no failure.
    EXPECT_EQ(port->ops.SetLine(port, 9600, 'E', 7, 1), 0);
    EXPECT_EQ(port->status, 0);
}

TEST_F(SerialDriverPty, MissingOrNonTtyDeviceIsNo8250) {
    // Missing, a character device that is no tty, a folder.
    for (const std::string& device :
         {lockDir.path() + "/no-such-device", std::string("/dev/null"), lockDir.path()}) {
        plat::DeviceMap::Set(kCom, device);
        EXPECT_EQ(StatusOfAnOpen(), -14) << device;
    }
}

TEST_F(SerialDriverPty, DeviceHeldByAnotherProcessIsInUse) {
    const std::string path = pty.slavePath();
    ChildProcess holder([&] {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        ::flock(fd, LOCK_EX);
    });
    EXPECT_EQ(StatusOfAnOpen(), -3);
    holder.Finish();
    EXPECT_EQ(Open()->status, 0) << "free again once the holder is gone";
}

TEST_F(SerialDriverPty, SecondOpenInThisProcessIsInUse) {
    ASSERT_EQ(Open()->status, 0);
    PortObject* second = OpenWin32Port(kCom - 1, 9600, 'N', 8, 1);
    EXPECT_EQ(second->status, -3);
    second->ops.Close(second);
    // The first open still works.
    EXPECT_EQ(port->ops.WriteChar(port, 'k'), 0);
    EXPECT_EQ(pty.Read(1), std::vector<uint8_t>{'k'});
}

TEST_F(SerialDriverPty, LockFileOfALiveTerminalProgramMeansInUse) {
    // A terminal program's lock: its PID, ten characters and a newline, no flock.
    ChildProcess terminal([] {});
    {
        std::ofstream f(LockPath());
        f << std::string(10 - std::to_string(terminal.pid()).size(), ' ') << terminal.pid() << "\n";
    }
    EXPECT_EQ(StatusOfAnOpen(), -3);
    EXPECT_EQ(plat::ReadLockPid(LockPath()), terminal.pid()) << "a live lock stays";
}

TEST_F(SerialDriverPty, LockFileOfADeadProcessIsReclaimed) {
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    {
        std::ofstream f(LockPath());
        f << "     " << dead << "\n";
    }
    ASSERT_EQ(Open()->status, 0);
    std::ifstream f(LockPath());
    std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    char expected[16];
    std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(::getpid()));
    EXPECT_EQ(text, expected);
    port->ops.Close(port);
    port = nullptr;
    EXPECT_NE(::access(LockPath().c_str(), F_OK), 0) << "removed on close";
}

TEST_F(SerialDriverPty, VanishingDeviceIsReportedWithoutHanging) {
    ASSERT_EQ(Open()->status, 0);
    pty.CloseMaster();
    uint8_t buf[4];
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 4), -1);
    EXPECT_EQ(port->ops.ReadChar(port), -1);
    EXPECT_EQ(port->ops.RxUsed(port), -1);
    EXPECT_EQ(port->ops.WriteBuffer(port, buf, 4), -1);
    EXPECT_EQ(port->status, -1);
    EXPECT_EQ(port->ops.Close(port), 0);
    port = nullptr;
}

}  // namespace
}  // namespace tolvan
