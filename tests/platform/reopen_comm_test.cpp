// Opening a handle's device again after it went away: same handle, same descriptor number,
// the settings last set; refused while the device is not there or is held elsewhere, and for
// devices that cannot come back by a path.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "platform/serial_api.h"
#include "tests/support/pty_pair.h"

namespace tolvan::plat {
namespace {

class ReopenComm : public ::testing::Test {
protected:
    void SetUp() override { SetLockDirectory(locks_.path()); }
    void TearDown() override { SetLockDirectory("/var/lock"); }

    test::ScratchDir locks_;
    std::string link_ = locks_.path() + "/dev-link";
};

TEST_F(ReopenComm, SameHandleAndDescriptorWithTheSettingsLastSet) {
    test::PtyPair first;
    ASSERT_EQ(::symlink(first.slavePath().c_str(), link_.c_str()), 0);
    const CommHandle h = OpenComm(link_);
    ASSERT_NE(h, kInvalidCommHandle);
    Dcb dcb{};
    ASSERT_TRUE(GetCommState(h, &dcb));
    dcb.BaudRate = 4800;
    dcb.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(h, dcb));
    const int fd = CommPollFd(h);

    // Gone: the reopening fails while nothing is at the path, and the handle stays as it was.
    ASSERT_EQ(::unlink(link_.c_str()), 0);
    first.CloseMaster();
    EXPECT_TRUE(CommDeviceGone(h));
    EXPECT_FALSE(plat::ReopenComm(h));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(CommDeviceGone(h));

    // Bytes written while gone are not kept for the new device.
    uint32_t written = 0;
    WriteComm(h, "old", 3, &written);

    test::PtyPair second;
    ASSERT_EQ(::symlink(second.slavePath().c_str(), link_.c_str()), 0);
    ASSERT_TRUE(plat::ReopenComm(h)) << GetLastError();
    EXPECT_FALSE(CommDeviceGone(h));
    EXPECT_EQ(CommPollFd(h), fd) << "waits that hold the descriptor go on with the new device";
    EXPECT_EQ(CommTarget(h), link_);
    const termios t = second.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), B4800);
    EXPECT_TRUE(t.c_cflag & CSTOPB);

    ASSERT_TRUE(WriteComm(h, "new", 3, &written));
    EXPECT_EQ(second.Read(3), (std::vector<uint8_t>{'n', 'e', 'w'}));
    EXPECT_TRUE(second.ReadAvailable(20).empty()) << "nothing of what was written while gone";
    ASSERT_TRUE(second.Write("in"));
    uint8_t got[2] = {};
    uint32_t n = 0;
    CommTimeouts waits{};
    waits.ReadTotalTimeoutConstant = 2000;
    ASSERT_TRUE(SetCommTimeouts(h, waits));
    ASSERT_TRUE(ReadComm(h, got, 2, &n));
    EXPECT_EQ(std::string(got, got + n), "in");
    CloseComm(h);
}

TEST_F(ReopenComm, HeldElsewhereOrNotByPath) {
    test::PtyPair first;
    ASSERT_EQ(::symlink(first.slavePath().c_str(), link_.c_str()), 0);
    const CommHandle h = OpenComm(link_);
    ASSERT_NE(h, kInvalidCommHandle);
    ASSERT_EQ(::unlink(link_.c_str()), 0);
    first.CloseMaster();
    test::PtyPair second;
    ASSERT_EQ(::symlink(second.slavePath().c_str(), link_.c_str()), 0);
    const CommHandle other = OpenComm(second.slavePath());
    ASSERT_NE(other, kInvalidCommHandle);
    EXPECT_FALSE(plat::ReopenComm(h));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseComm(other);
    EXPECT_TRUE(plat::ReopenComm(h));
    CloseComm(h);

    const CommHandle loop = OpenComm("loop://reopen");
    ASSERT_NE(loop, kInvalidCommHandle);
    EXPECT_FALSE(plat::ReopenComm(loop));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
    CloseComm(loop);
    EXPECT_FALSE(plat::ReopenComm(loop));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace tolvan::plat
