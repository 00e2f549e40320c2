// Lock files as terminal programs write them, and opening where none can be written.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "platform/lock_file.h"
#include "platform/serial_api.h"
#include "tests/support/pty_pair.h"

namespace tolvan::plat {
namespace {

TEST(LockFile, NamesFollowTheDevice) {
    EXPECT_EQ(LockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(LockFileName("/dev/pts/7"), "LCK..pts_7");
    EXPECT_EQ(LockFileName("/tmp/x/ttyV0"), "LCK..ttyV0");
}

TEST(LockFile, PidInTextOrOldBinaryForm) {
    test::ScratchDir dir;
    const std::string path = dir.path() + "/LCK..ttyS0";
    std::ofstream(path) << "      4242\n";
    EXPECT_EQ(ReadLockPid(path), 4242);
    std::ofstream(path) << "77\n";
    EXPECT_EQ(ReadLockPid(path), 77);
    {
        std::ofstream f(path, std::ios::binary);
        const int32_t pid = 0x00012345;
        f.write(reinterpret_cast<const char*>(&pid), 4);
    }
    EXPECT_EQ(ReadLockPid(path), 0x12345);
    std::ofstream(path) << "garbage";
    EXPECT_EQ(ReadLockPid(path), 0);
    EXPECT_EQ(ReadLockPid(dir.path() + "/missing"), 0);
}

TEST(LockFile, UnreadableLockOfNobodyIsTakenOver) {
    test::ScratchDir dir;
    std::ofstream(dir.path() + "/LCK..ttyS9") << "garbage";
    EXPECT_EQ(AcquireLockFile(dir.path(), "/dev/ttyS9"), LockResult::kTaken);
    EXPECT_EQ(ReadLockPid(dir.path() + "/LCK..ttyS9"), ::getpid());
    ReleaseLockFile(dir.path(), "/dev/ttyS9");
    EXPECT_NE(::access((dir.path() + "/LCK..ttyS9").c_str(), F_OK), 0);
}

TEST(LockFile, DeviceOpensWhereNoLockFileCanBeWritten) {
    test::PtyPair pty;
    SetLockDirectory("/nonexistent-lock-folder");
    const CommHandle h = OpenComm(pty.slavePath());
    EXPECT_NE(h, kInvalidCommHandle);
    // Exclusive all the same: the second open is refused by the descriptor lock.
    EXPECT_EQ(OpenComm(pty.slavePath()), kInvalidCommHandle);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseComm(h);
    SetLockDirectory("/var/lock");
}

}  // namespace
}  // namespace tolvan::plat
