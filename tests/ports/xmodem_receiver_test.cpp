// The block receiver against a sender scripted byte by byte on the master side of a
// real pty. Waits run on a fake tick source, so 9-second header waits cost nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <memory>
#include <vector>

#include "platform/server_lock.h"
#include "platform/ticks.h"
#include "ports/status_text.h"
#include "ports/xmodem_receiver.h"
#include "tests/support/xmodem_pty_link.h"
#include "tests/support/xmodem_sender.h"

namespace tolvan {
namespace {

using test::AnswersSoFar;
using test::PatternBytes;
using test::ReadFileBytes;
using test::XmBlock;
using Bytes = std::vector<uint8_t>;

const Bytes kAck{kXmACK};
const Bytes kNak{kXmNAK};

class XModemReceiverTest : public ::testing::Test {
protected:
    // A short real pause lets the pty carry bytes written just before the call.
    explicit XModemReceiverTest(
        std::chrono::microseconds realPause = std::chrono::microseconds(2000))
        : ticks_(1000, realPause), scoped_(ticks_) {}

    void SetUp() override {
        link_ = test::XModemPtyLink::Create(pty_.Slave());
        path_ = dir_.File("received.bin");
        ASSERT_TRUE(state_.file.Create(path_));
    }
    void TearDown() override { link_->Release(); }

    // As the transfer thread runs it: with the server lock held.
    int16_t Receive() {
        plat::ServerLockGuard lock;
        return ReceiveBlock(*link_, state_);
    }
    void Send(const Bytes& bytes) { pty_.SendFromMaster(bytes); }
    Bytes Answers() { return AnswersSoFar(pty_, *link_); }
    Bytes Written() {
        state_.file.Close();
        return ReadFileBytes(path_);
    }

    plat::FakeTickSource ticks_;
    plat::ScopedTickSource scoped_;
    test::XModemPty pty_;
    test::TempDir dir_;
    std::string path_;
    test::XModemPtyLink* link_ = nullptr;
    XModemReceiveState state_;
};

TEST_F(XModemReceiverTest, EndOfFileFirstIsAcknowledgedAndWritesNothing) {
    Send({kXmEOT});
    EXPECT_EQ(Receive(), 0);
    EXPECT_EQ(state_.lastHeader, kXmEOT);
    EXPECT_EQ(state_.totalBytes, 0u);
    EXPECT_EQ(Answers(), kAck);
    EXPECT_TRUE(Written().empty());
}

TEST_F(XModemReceiverTest, ShortAndLongBlocksAreWrittenInOrderWithEightBitChecksum) {
    const Bytes a = PatternBytes(128, 1), b = PatternBytes(1024, 2), c = PatternBytes(128, 3);
    Send(XmBlock(1, a));
    ASSERT_EQ(Receive(), 0);
    Send(XmBlock(2, b, true));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(state_.lastHeader, kXmSTX);
    Send(XmBlock(3, c));
    ASSERT_EQ(Receive(), 0);

    EXPECT_EQ(Answers(), (Bytes{kXmACK, kXmACK, kXmACK}));
    EXPECT_EQ(state_.totalBytes, 128u + 1024u + 128u);
    EXPECT_EQ(state_.expectedBlock, 4);
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(Written(), expected);
}

TEST_F(XModemReceiverTest, RepeatedBlockIsAcknowledgedCountedButWrittenOnce) {
    const Bytes a = PatternBytes(128, 4);
    Send(XmBlock(1, a));
    ASSERT_EQ(Receive(), 0);
    Send(XmBlock(1, a));  // the sender missed our ACK
    ASSERT_EQ(Receive(), 0);

    EXPECT_EQ(Answers(), (Bytes{kXmACK, kXmACK}));
    EXPECT_EQ(state_.totalBytes, 256u);
    EXPECT_EQ(state_.expectedBlock, 2);
    EXPECT_EQ(Written(), a);
}

TEST_F(XModemReceiverTest, BlockNumbersWrapAfter255) {
    state_.expectedBlock = 0;  // block 255 was the last one written
    const Bytes old = PatternBytes(128, 5), fresh = PatternBytes(128, 6);
    Send(XmBlock(255, old));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(state_.expectedBlock, 0) << "a repetition must not move the sequence";
    Send(XmBlock(0, fresh));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(state_.expectedBlock, 1);
    EXPECT_EQ(Answers(), (Bytes{kXmACK, kXmACK}));
    EXPECT_EQ(Written(), fresh);
}

TEST_F(XModemReceiverTest, BlockOutOfSequenceEndsWithoutAnswer) {
    Send(XmBlock(2, PatternBytes(128, 7)));
    EXPECT_EQ(Receive(), kXferInternalError);
    EXPECT_TRUE(Answers().empty());
    EXPECT_EQ(state_.expectedBlock, 1);
    EXPECT_EQ(state_.totalBytes, 0u);
    EXPECT_TRUE(Written().empty());
}

TEST_F(XModemReceiverTest, BadBlocksAreRefusedWithNakUntilTheTenthInARow) {
    const Bytes a = PatternBytes(128, 8);
    // Nine bad checksums: each answered with NAK, nothing written.
    for (int i = 1; i <= 9; ++i) {
        Send(XmBlock(1, a, false, 1));
        ASSERT_EQ(Receive(), kXferProtocolError) << "bad block " << i;
        EXPECT_EQ(state_.errorCount, static_cast<uint32_t>(i));
    }
    EXPECT_EQ(Answers(), Bytes(9, kXmNAK));
    EXPECT_EQ(state_.lastError, kXferProtocolError);

    // A good block after nine errors still gets through and clears the count.
    Send(XmBlock(1, a));
    ASSERT_EQ(Receive(), 0);
    EXPECT_EQ(state_.errorCount, 0u);
    EXPECT_EQ(Answers(), kAck);

    // Ten bad ones in a row end the exchange; the tenth draws no NAK.
    for (int i = 1; i <= 9; ++i) {
        Send(XmBlock(2, a, false, 0x80));
        ASSERT_EQ(Receive(), kXferProtocolError);
    }
    Send(XmBlock(2, a, false, 0x80));
    EXPECT_EQ(Receive(), kXferTooManyErrors);
    EXPECT_EQ(Answers(), Bytes(9, kXmNAK));
    EXPECT_EQ(Written(), a);
}

TEST_F(XModemReceiverTest, IncompleteBlockIsRefusedWithNak) {
    Bytes block = XmBlock(1, PatternBytes(128, 9));
    block.resize(60);
    Send(block);
    EXPECT_EQ(Receive(), kXferProtocolError);
    EXPECT_EQ(Answers(), kNak);
    EXPECT_EQ(state_.errorCount, 1u);
    EXPECT_TRUE(Written().empty());
}

TEST_F(XModemReceiverTest, FailedFileWriteCancelsTwiceAfterTheAck) {
    ASSERT_TRUE(state_.file.Create("/dev/full"));
    Send(XmBlock(1, PatternBytes(128, 10)));
    EXPECT_EQ(Receive(), kXferFileIoError);
    EXPECT_EQ(Answers(), (Bytes{kXmACK, kXmCAN, kXmCAN}));
    EXPECT_EQ(state_.expectedBlock, 1);
}

TEST_F(XModemReceiverTest, NakThatCannotBeSentIsReturned) {
    link_->SetConnected(false);
    EXPECT_EQ(Receive(), kStatusNotSetUp);
    EXPECT_EQ(state_.errorCount, 1u);
    EXPECT_EQ(state_.lastError, kStatusNotSetUp);
}

// No real pause at all: a silent line costs no real time.
class XModemSilentLineTest : public XModemReceiverTest {
protected:
    XModemSilentLineTest() : XModemReceiverTest(std::chrono::microseconds(0)) {}
    // Real wait until the pty has carried what the sender wrote.
    bool ArrivedAtOurEnd() {
        pollfd p{pty_.Slave(), POLLIN, 0};
        return ::poll(&p, 1, 5000) == 1;
    }
};

TEST_F(XModemSilentLineTest, TenSilentHeaderWaitsGiveUpAfterNineNaks) {
    const uint32_t start = ticks_.Now();
    EXPECT_EQ(Receive(), kXferTooManyErrors);
    EXPECT_GE(ticks_.Now() - start, 10u * kXmHeaderWaitMs);
    EXPECT_EQ(state_.lastError, kStatusTimeOut);
    EXPECT_EQ(state_.errorCount, 10u);
    EXPECT_EQ(Answers(), Bytes(9, kXmNAK));
}

TEST_F(XModemSilentLineTest, StrayHeaderIsDroppedWithoutAnswerAndCounts) {
    Send({0x55, 0x01, 0x02});  // noise, and what came with it
    ASSERT_TRUE(ArrivedAtOurEnd());
    state_.errorCount = 8;
    // Noise is the ninth error, one silent wait the tenth.
    EXPECT_EQ(Receive(), kXferTooManyErrors);
    EXPECT_EQ(state_.lastError, kStatusTimeOut);
    EXPECT_EQ(state_.lastHeader, 0x55);
    EXPECT_TRUE(Answers().empty()) << "neither the noise nor the tenth error draws a NAK";
}

}  // namespace
}  // namespace tolvan
