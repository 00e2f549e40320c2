// The transfer thread against a sender scripted on the master side of a real pty:
// start, end reports, abort, refusal of a second reception, the keep-alive reference.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>

#include "channels/file_transfer.h"
#include "platform/atoms.h"
#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/status_text.h"
#include "ports/xmodem_receiver.h"
#include "tests/support/xmodem_progress_recorder.h"
#include "tests/support/xmodem_pty_link.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan {
namespace {

using test::PatternBytes;
using test::XmBlock;
using Bytes = std::vector<uint8_t>;

constexpr int16_t kWindow = 0x1234;

class FileTransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetXferProgressSink(recorder_);
        link_ = test::XModemPtyLink::Create(pty_.Slave(), destroyed_);
    }
    void TearDown() override {
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        SetXferProgressSink(nullptr);
        if (link_) link_->Release();
        plat::ClearAtomTable();
    }

    int16_t Start(const std::string& path, int32_t length, int16_t window = kWindow) {
        plat::ServerLockGuard lock;  // as an automation call holds it
        return ReceiveXModemFile(*link_, path, length, window);
    }
    std::optional<int32_t> End() { return recorder_->WaitForEnd(); }
    void Send(const Bytes& bytes) { pty_.SendFromMaster(bytes); }
    Bytes Expect(size_t count) { return pty_.ReceiveAtMaster(count); }
    // After the thread has ended: what the receiver sent that no step has read yet.
    Bytes Leftover() {
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        return test::AnswersSoFar(pty_, *link_);
    }
    std::string Target() const { return dir_.File("received.bin"); }
    // The sender's side of a whole one-block transfer, answers included.
    void SendOneBlock(const Bytes& data) {
        EXPECT_EQ(Expect(1), Bytes{kXmNAK});
        Send(XmBlock(1, data));
        EXPECT_EQ(Expect(1), Bytes{kXmACK});
        Send({kXmEOT});
        EXPECT_EQ(Expect(1), Bytes{kXmACK});
    }

    test::TempDir dir_;
    test::XModemPty pty_;
    std::shared_ptr<test::XferRecorder> recorder_ = std::make_shared<test::XferRecorder>();
    std::shared_ptr<std::atomic<bool>> destroyed_ = std::make_shared<std::atomic<bool>>(false);
    test::XModemPtyLink* link_ = nullptr;
};

TEST_F(FileTransferTest, WholeReceptionWithRepeatedBlockReportsToTheClientWindow) {
    const Bytes data = PatternBytes(200, 1);
    ASSERT_EQ(Start(Target(), 200), 0);
    EXPECT_TRUE(IsXModemReceptionRunning());
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    Send(XmBlock(1, Bytes(data.begin(), data.begin() + 128)));
    EXPECT_EQ(Expect(1), Bytes{kXmACK});
    Send(XmBlock(1, Bytes(data.begin(), data.begin() + 128)));  // our ACK "got lost"
    EXPECT_EQ(Expect(1), Bytes{kXmACK});
    Send(XmBlock(2, Bytes(data.begin() + 128, data.end())));
    EXPECT_EQ(Expect(1), Bytes{kXmACK});
    Send({kXmEOT});
    EXPECT_EQ(Expect(1), Bytes{kXmACK});

    EXPECT_EQ(End(), 0);
    EXPECT_FALSE(IsXModemReceptionRunning());
    EXPECT_EQ(test::ReadFileBytes(Target()), data);
    // The repetition still counts in the progress.
    EXPECT_EQ(recorder_->Progress(), (std::vector<int32_t>{128, 256, 384, 384}));
    for (const auto& r : recorder_->Reports()) EXPECT_EQ(r.window, kWindow);
    EXPECT_TRUE(Leftover().empty());
    EXPECT_EQ(link_->UnlockedCalls(), 0);
}

TEST_F(FileTransferTest, FileInMissingDirectoryIsRefusedWithoutThread) {
    const std::string path = dir_.File("no/such/dir/received.bin");
    EXPECT_EQ(Start(path, 100), kXferCantOpenFile);
    EXPECT_FALSE(IsXModemReceptionRunning());
    EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(1)));
    EXPECT_TRUE(recorder_->Reports().empty());
    EXPECT_EQ(link_->References(), 1);
    EXPECT_TRUE(test::AnswersSoFar(pty_, *link_).empty()) << "no NAK without a reception";
}

TEST_F(FileTransferTest, ChannelNotConnectedEndsWithNotSetUp) {
    link_->SetConnected(false);
    ASSERT_EQ(Start(Target(), 100), 0);
    EXPECT_EQ(End(), kStatusNotSetUp);
    EXPECT_TRUE(recorder_->Progress().empty());
    link_->SetConnected(true);
    EXPECT_TRUE(Leftover().empty());
}

// The client aborts by the abort atom (true) or by the AbortXfert call (false).
class FileTransferAbortTest : public FileTransferTest,
                              public ::testing::WithParamInterface<bool> {};

TEST_P(FileTransferAbortTest, CancelsAfterTheCurrentBlockAndKeepsThePartialFile) {
    const bool byAtom = GetParam();
    const Bytes first = PatternBytes(128, 2);
    recorder_->onProgress = [this, byAtom](int32_t) {
        if (byAtom) {
            plat::GlobalAddAtom(kAbortXferAtom);
            return;
        }
        plat::ServerLockGuard lock;
        AbortXfert(*link_);
    };
    ASSERT_EQ(Start(Target(), 1000), 0);
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    Send(XmBlock(1, first));
    EXPECT_EQ(Expect(3), (Bytes{kXmACK, kXmCAN, kXmCAN}));
    EXPECT_EQ(End(), kXferUserAbort);
    EXPECT_EQ(test::ReadFileBytes(Target()), first);
    EXPECT_EQ(recorder_->Progress(), std::vector<int32_t>{128});
    if (byAtom) {
        EXPECT_NE(plat::GlobalFindAtom(kAbortXferAtom), 0) << "the server never deletes the atom";
    }
    EXPECT_TRUE(Leftover().empty());
}

INSTANTIATE_TEST_SUITE_P(AtomOrCall, FileTransferAbortTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "AbortAtom" : "AbortXfert"; });

TEST_F(FileTransferTest, StaleAbortRequestIsClearedWhenAReceptionStarts) {
    {
        plat::ServerLockGuard lock;
        AbortXfert(*link_);
    }
    ASSERT_EQ(Start(Target(), -1), 0);
    SendOneBlock(PatternBytes(128, 4));
    EXPECT_EQ(End(), 0);
}

TEST_F(FileTransferTest, SecondReceptionWhileOneRunsIsRefusedAndHarmsNothing) {
    const Bytes data = PatternBytes(100, 5);
    const std::string other = dir_.File("other.bin");
    ASSERT_EQ(Start(Target(), 100), 0);
    EXPECT_EQ(Start(other, 100, 77), kStatusInUse);
    EXPECT_FALSE(std::filesystem::exists(other)) << "a refused call touches no file";

    SendOneBlock(data);  // one NAK only: no second thread started
    EXPECT_EQ(End(), 0);
    EXPECT_EQ(test::ReadFileBytes(Target()), data);
    for (const auto& r : recorder_->Reports()) EXPECT_EQ(r.window, kWindow);

    // As soon as the end report is there, a new reception may start.
    EXPECT_EQ(Start(other, 0), 0);
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    Send({kXmEOT});
    EXPECT_EQ(Expect(1), Bytes{kXmACK});
    EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
    EXPECT_TRUE(std::filesystem::exists(other));
}

TEST_F(FileTransferTest, ThreadKeepsTheChannelAliveAfterTheClientLetItGo) {
    std::atomic<bool> aliveDuringReception{false};
    recorder_->onProgress = [this, &aliveDuringReception](int32_t) {
        aliveDuringReception = !destroyed_->load();
    };
    ASSERT_EQ(Start(Target(), -1), 0);
    EXPECT_EQ(link_->References(), 2);
    std::exchange(link_, nullptr)->Release();  // the client lets go mid-transfer

    SendOneBlock(PatternBytes(128, 6));
    EXPECT_EQ(End(), 0);
    EXPECT_TRUE(aliveDuringReception);
    EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
    EXPECT_TRUE(destroyed_->load()) << "the thread's reference was the last one";
    EXPECT_EQ(test::ReadFileBytes(Target()).size(), 128u);
}

TEST_F(FileTransferTest, DiskFullCancelsAndEndsWithFileError) {
    ASSERT_EQ(Start("/dev/full", 1000), 0);
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    Send(XmBlock(1, PatternBytes(128, 7)));
    EXPECT_EQ(Expect(3), (Bytes{kXmACK, kXmCAN, kXmCAN}));
    // The sender has been told to stop: the end comes now, not after ten silent waits.
    EXPECT_EQ(End(), kXferFileIoError);
    EXPECT_TRUE(recorder_->Progress().empty());
    EXPECT_TRUE(Leftover().empty());
}

TEST_F(FileTransferTest, BlockOutOfSequenceEndsWithoutCancel) {
    ASSERT_EQ(Start(Target(), 1000), 0);
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    Send(XmBlock(3, PatternBytes(128, 8)));
    EXPECT_EQ(End(), kXferInternalError);
    EXPECT_TRUE(Leftover().empty()) << "no ACK, no CAN";
    EXPECT_TRUE(test::ReadFileBytes(Target()).empty());
}

TEST_F(FileTransferTest, RequestedLengthBeyondWhatCameDoesNotLengthenTheFile) {
    const Bytes data = PatternBytes(128, 9);
    ASSERT_EQ(Start(Target(), 5000), 0);
    SendOneBlock(data);
    EXPECT_EQ(End(), 0);
    EXPECT_EQ(test::ReadFileBytes(Target()), data) << "no zero bytes the sender never sent";
}

TEST_F(FileTransferTest, ExistingFileIsEmptiedAndAFileHeldByAnotherOpenerIsRefused) {
    test::WriteFileBytes(Target(), PatternBytes(4000, 10));
    ASSERT_EQ(Start(Target(), 0), 0);
    EXPECT_EQ(Expect(1), Bytes{kXmNAK});
    EXPECT_EQ(Start(Target(), 0), kStatusInUse);
    {
        // While the thread holds the file, nobody else gets it exclusively.
        XModemFile other;
        EXPECT_FALSE(other.Create(Target()));
    }
    Send({kXmEOT});
    EXPECT_EQ(End(), 0);
    EXPECT_TRUE(test::ReadFileBytes(Target()).empty());
}

// No sender at all, on a fake clock: ten header waits of 9 s pass at once.
TEST_F(FileTransferTest, SilentLineEndsWithTooManyErrorsAfterTenNaks) {
    plat::FakeTickSource ticks(5000);
    plat::ScopedTickSource scoped(ticks);
    ASSERT_EQ(Start(Target(), 1000), 0);
    EXPECT_EQ(End(), kXferTooManyErrors);
    EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
    EXPECT_GE(ticks.Now() - 5000, 10u * kXmHeaderWaitMs);
    EXPECT_TRUE(recorder_->Progress().empty());
    EXPECT_EQ(Expect(10), Bytes(10, kXmNAK)) << "the first NAK and one after each of nine waits";
    EXPECT_TRUE(Leftover().empty());
}

}  // namespace
}  // namespace tolvan
