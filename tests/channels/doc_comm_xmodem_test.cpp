// File reception with the lrzsz sender `sx` through a real channel document on a pty
// port, while a second channel on the same port is polled from the test's thread.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <tuple>

#include "channels/doc_comm.h"
#include "channels/file_transfer.h"
#include "platform/server_lock.h"
#include "tests/support/mapped_port.h"
#include "tests/support/xmodem_progress_recorder.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int16_t kCom = 3;
constexpr int16_t kWindow = 41;

class DocCommXModem : public ::testing::TestWithParam<std::tuple<size_t, bool>> {
protected:
    void SetUp() override {
        ASSERT_EQ(port_.Map(kCom, ::ptsname(pty_.Master()), dir_.Path()), 1);
        SetXferProgressSink(recorder_);
        ASSERT_EQ(channel_->ConnectToPort(kCom, 115200, 'N', 8, 1), 0);
        ASSERT_EQ(watcher_->ConnectToPort(kCom, 115200, 'N', 8, 1), 0);
    }
    void TearDown() override {
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        SetXferProgressSink(nullptr);
        channel_.reset();
        watcher_.reset();
    }

    test::TempDir dir_;
    test::XModemPty pty_;
    test::MappedPort port_;
    std::shared_ptr<test::XferRecorder> recorder_ = std::make_shared<test::XferRecorder>();
    std::unique_ptr<CDocComm> channel_ = std::make_unique<CDocComm>();
    std::unique_ptr<CDocComm> watcher_ = std::make_unique<CDocComm>();
};

TEST_P(DocCommXModem, ReceivesWhatSxSends) {
    const auto [size, oneK] = GetParam();
    const Bytes data = test::PatternBytes(size, static_cast<uint32_t>(size) * 3 + 1);
    const std::string source = dir_.File("sent.bin");
    const std::string target = dir_.File("got.bin");
    test::WriteFileBytes(source, data);

    int16_t started = 0;
    {
        plat::ServerLockGuard lock;  // as an automation call holds it
        started = channel_->ReceiveXModemFile(target, static_cast<int32_t>(size), kWindow);
    }
    ASSERT_EQ(started, 0);
    EXPECT_GT(channel_->GetRefCount(), 1u) << "the transfer holds the channel";
    {
        plat::ServerLockGuard lock;  // one reception at a time
        EXPECT_EQ(watcher_->ReceiveXModemFile(dir_.File("other.bin"), 10, kWindow), kStatusInUse);
    }

    test::SxSender sx(pty_, source, oneK);
    // The other channel on the port keeps fetching while the reception runs.
    std::atomic<bool> done{false};
    std::atomic<int32_t> seen{0};
    std::thread ui([&] {
        while (!done.load()) {
            seen = std::max(seen.load(), watcher_->SpaceUsedInRXBuffer());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const auto end = recorder_->WaitForEnd();
    done = true;
    ui.join();
    // On a busy machine the watcher may not have sampled during a short transfer; the bytes
    // stay in its buffer, so one more look settles it.
    seen = std::max(seen.load(), watcher_->SpaceUsedInRXBuffer());
    EXPECT_EQ(sx.Wait(), 0);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(test::ReadFileBytes(target), data);
    const auto progress = recorder_->Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.back(), static_cast<int32_t>(size));
    ASSERT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
    EXPECT_EQ(channel_->GetRefCount(), 1u) << "the transfer let the channel go";
    if (size > 0) {
        EXPECT_GT(seen.load(), 0) << "the other channel saw the blocks too";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, DocCommXModem,
                         ::testing::Values(std::make_tuple(size_t{1000}, false),
                                           std::make_tuple(size_t{1025}, true),
                                           std::make_tuple(size_t{100000}, true)),
                         test::SizeAndBlockName);

TEST(DocCommXModemAbort, AbortXfertEndsTheReceptionWithUserAbort) {
    test::TempDir dir;
    test::XModemPty pty;
    test::MappedPort port;
    ASSERT_EQ(port.Map(kCom, ::ptsname(pty.Master()), dir.Path()), 1);
    auto recorder = std::make_shared<test::XferRecorder>();
    ScopedXferProgressSink sink(recorder);
    {
        CDocComm channel;
        ASSERT_EQ(channel.ConnectToPort(kCom, 115200, 'N', 8, 1), 0);
        const Bytes first(128, 0x55);
        recorder->onProgress = [&](int32_t) { channel.AbortXfert(); };
        {
            plat::ServerLockGuard lock;
            ASSERT_EQ(channel.ReceiveXModemFile(dir.File("part.bin"), -1, kWindow), 0);
        }
        pty.SendFromMaster(test::XmBlock(1, first));
        const auto end = recorder->WaitForEnd();
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(*end, kXferUserAbort);
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        EXPECT_EQ(test::ReadFileBytes(dir.File("part.bin")), first) << "the partial file is kept";
        EXPECT_EQ(channel.GetAbortRequest(), 1);
    }
}

}  // namespace
}  // namespace tolvan
