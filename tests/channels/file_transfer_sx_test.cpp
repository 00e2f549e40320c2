// Whole receptions from the lrzsz sender `sx` on the other side of a real pty, in the
// checksum variant with 128-byte blocks and with 1024-byte blocks (`sx -k`).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

#include "channels/file_transfer.h"
#include "platform/server_lock.h"
#include "tests/support/xmodem_progress_recorder.h"
#include "tests/support/xmodem_pty_link.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr int16_t kWindow = -2;  // a client's 16-bit window value, sign and all

class SxReception {
public:
    SxReception() {
        SetXferProgressSink(recorder_);
        link_ = test::XModemPtyLink::Create(pty_.Slave());
    }
    ~SxReception() {
        WaitForXModemThreads(std::chrono::seconds(60));
        SetXferProgressSink(nullptr);
        link_->Release();
    }

    // Sends `data` with sx and receives it with `length`; the end status.
    std::optional<int32_t> Run(const Bytes& data, int32_t length, bool oneK) {
        test::WriteFileBytes(source(), data);
        int16_t started;
        {
            plat::ServerLockGuard lock;  // as an automation call holds it
            started = ReceiveXModemFile(*link_, target(), length, kWindow);
        }
        if (started != 0) {
            ADD_FAILURE() << "ReceiveXModemFile gave " << started;
            return std::nullopt;
        }
        test::SxSender sx(pty_, source(), oneK);
        auto end = recorder_->WaitForEnd();
        sxStatus_ = sx.Wait();
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        return end;
    }

    std::string source() const { return dir_.File("sent.bin"); }
    std::string target() const { return dir_.File("received.bin"); }
    Bytes Received() const { return test::ReadFileBytes(target()); }
    int SxStatus() const { return sxStatus_; }
    const test::XferRecorder& Recorder() const { return *recorder_; }
    test::XModemPtyLink& Link() { return *link_; }

private:
    test::TempDir dir_;
    test::XModemPty pty_;
    std::shared_ptr<test::XferRecorder> recorder_ = std::make_shared<test::XferRecorder>();
    test::XModemPtyLink* link_ = nullptr;
    int sxStatus_ = -1;
};

// Every report goes to the client's window; progress never shrinks and ends at the
// padded size of what was sent.
void ExpectReportsOf(const test::XferRecorder& recorder, size_t sentSize, bool oneK) {
    const auto reports = recorder.Reports();
    for (const auto& r : reports) EXPECT_EQ(r.window, kWindow);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().wParam, 0);
    EXPECT_EQ(reports.back().lParam, 0);

    const auto progress = recorder.Progress();
    ASSERT_FALSE(progress.empty()) << "at least the end of file is reported as progress";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    const int32_t last = progress.back();
    EXPECT_GE(last, static_cast<int32_t>(sentSize));
    EXPECT_LT(last, static_cast<int32_t>(sentSize) + (oneK ? 1024 : 128));
    EXPECT_EQ(last % 128, 0);
    if (sentSize > 1024) {
        EXPECT_GT(progress.size(), 2u) << "a long file reports more than once";
    }
}

class SxSizes : public ::testing::TestWithParam<std::tuple<size_t, bool>> {};

TEST_P(SxSizes, ReceivedFileEqualsSentFileAfterCut) {
    const auto [size, oneK] = GetParam();
    const Bytes data = test::PatternBytes(size, static_cast<uint32_t>(size) + (oneK ? 7 : 0));
    SxReception rx;
    // A length of 0 means "keep what came": for an empty file that is nothing anyway.
    auto end = rx.Run(data, static_cast<int32_t>(size), oneK);
    ASSERT_TRUE(end.has_value()) << "no end report";
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(rx.SxStatus(), 0);
    EXPECT_EQ(rx.Received(), data);
    ExpectReportsOf(rx.Recorder(), size, oneK);
    EXPECT_EQ(rx.Link().UnlockedCalls(), 0) << "the thread must hold the server lock";
}

INSTANTIATE_TEST_SUITE_P(Files, SxSizes,
                         ::testing::Combine(::testing::Values(0, 1, 127, 128, 1000, 1025, 100000),
                                            ::testing::Bool()),
                         test::SizeAndBlockName);

class SxPadded : public ::testing::TestWithParam<std::tuple<size_t, bool>> {};

TEST_P(SxPadded, LengthMinusOneKeepsThePaddedBlocks) {
    const auto [size, oneK] = GetParam();
    const Bytes data = test::PatternBytes(size, 99);
    SxReception rx;
    auto end = rx.Run(data, -1, oneK);
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, 0);
    const Bytes got = rx.Received();
    ASSERT_GE(got.size(), size);
    EXPECT_EQ(got.size() % 128, 0u);
    EXPECT_LT(got.size(), size + (oneK ? 1024 : 128));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(size), got.end(), [](uint8_t b) {
        return b == 0x1A;
    })) << "the padding is the sender's fill byte";
    EXPECT_EQ(static_cast<size_t>(rx.Recorder().Progress().back()), got.size());
}

INSTANTIATE_TEST_SUITE_P(Files, SxPadded,
                         ::testing::Values(std::make_tuple(size_t{1000}, false),
                                           std::make_tuple(size_t{1025}, true)),
                         test::SizeAndBlockName);

// A second user of the same port keeps polling it from another thread while the
// reception runs, as the window of a second channel on that port does. Both take the
// server lock; the thread sanitizer build shows that nothing else is shared.
TEST(SxShared, PortPolledFromAnotherThreadDuringReception) {
    const Bytes data = test::PatternBytes(20000, 5);
    SxReception rx;
    std::atomic<bool> done{false};
    std::atomic<int> polls{0};
    std::thread ui([&] {
        while (!done.load()) {
            {
                plat::ServerLockGuard lock;
                rx.Link().SpaceUsedInRXBuffer();
            }
            ++polls;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto end = rx.Run(data, static_cast<int32_t>(data.size()), true);
    done = true;
    ui.join();
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(*end, 0);
    EXPECT_EQ(rx.Received(), data);
    EXPECT_GT(polls.load(), 0);
}

}  // namespace
}  // namespace tolvan
