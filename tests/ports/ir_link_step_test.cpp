// The running link against the simulated transceiver: frames on the wire, turns passing
// both ways, the turn time-outs on the fake clock, bad frames, write failures.
#include "tests/ports/ir_link_fixture.h"

#include "ports/ir_frame.h"

namespace tolvan::irtest {
namespace {

class IrLinkStep : public IrSimLinkTest {
protected:
    // Opens at 9600 with a transceiver that keeps silent on its turn, and hands it the turn.
    bool OpenGivingTheTurnToASilentPeer() {
        if (Open(9600, {.passTurn = false}) == nullptr) return false;
        LinkStep(Link());
        return Link()->state == kIrReceiving;
    }
};

Bytes Counting(size_t n) {
    Bytes d(n);
    for (size_t i = 0; i < n; ++i)
        d[i] = static_cast<uint8_t>(i % 0x60);  // clear of the stuffed bytes
    return d;
}

TEST_F(IrLinkStep, TenBytesGoOutAsOneFinalFrameAndTheTurnPasses) {
    ASSERT_NE(Open(9600), nullptr);
    const Bytes data = Counting(10);
    ASSERT_EQ(Write(data), 0);
    EXPECT_EQ(port->count, 10);
    EXPECT_EQ(LinkStep(Link()), kStepFinalQueued);
    EXPECT_EQ(sim->RawLinkBytes(), Frame(0xF1, data));
    EXPECT_EQ(Link()->state, kIrReceiving);
    EXPECT_EQ(Link()->deadline, ticks.Now() + 2400);
    EXPECT_EQ(port->ops.TxUsed(port), 0);
}

TEST_F(IrLinkStep, FourHundredBytesMakeThreeFramesAndTheTurnWaitsUntilAllLeft) {
    ASSERT_NE(Open(19200), nullptr);
    const Bytes data = Counting(400);
    ASSERT_EQ(Write(data), 0);
    EXPECT_EQ(LinkStep(Link()), kStepFinalQueued);
    // One pump moves 300 bytes: the final frame has not left yet, so the turn is kept.
    EXPECT_EQ(Link()->state, kIrSending);
    EXPECT_EQ(RingUsed(Link()->wireTx), 409u - 300u);
    EXPECT_EQ(LinkPump(Link()), 109);
    EXPECT_EQ(LinkStep(Link()), kStepFinalQueued);
    EXPECT_EQ(Link()->state, kIrReceiving);

    const auto frames = sim->HostFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].control, 0xF0);
    EXPECT_EQ(frames[1].control, 0xF0);
    EXPECT_EQ(frames[2].control, 0xF1);
    EXPECT_EQ(frames[0].data.size(), 150u);
    EXPECT_EQ(frames[1].data.size(), 150u);
    EXPECT_EQ(frames[2].data.size(), 100u);
    EXPECT_EQ(sim->Received(), data);
    EXPECT_EQ(sim->RawLinkBytes().size(), 409u);
}

TEST_F(IrLinkStep, SpecialBytesAreStuffedBothWays) {
    ASSERT_NE(Open(9600), nullptr);
    const Bytes special{0x7D, 0xC0, 0xC1};
    ASSERT_EQ(Write(special), 0);
    sim->QueueToHost(special);
    LinkStep(Link());
    EXPECT_EQ(sim->RawLinkBytes(), (Bytes{0xC0, 0xF1, 0x7D, 0x5D, 0x7D, 0xE0, 0x7D, 0xE1, 0xC1}));
    // The answer waits in the device; the pump and the next step bring it in.
    EXPECT_EQ(LinkPump(Link()), 9);
    EXPECT_EQ(LinkStep(Link()), kStepTurnPasses);
    EXPECT_EQ(ReadAll(), special);
}

TEST_F(IrLinkStep, ReceivedFinalFrameDeliversDataAndGivesUsTheTurn) {
    ASSERT_NE(Open(9600), nullptr);
    sim->QueueToHost(Bytes{0x41, 0x42});
    LinkStep(Link());  // our empty final frame: the transceiver answers at once
    EXPECT_EQ(sim->RawLinkBytes(), Frame(0xF1, {}));
    ASSERT_EQ(Link()->state, kIrReceiving);
    EXPECT_EQ(LinkPump(Link()), 5);
    EXPECT_EQ(Link()->framesPending, 1);
    const uint32_t now = ticks.Now();
    EXPECT_EQ(LinkStep(Link()), kStepTurnPasses);
    EXPECT_EQ(Link()->state, kIrSending);
    EXPECT_EQ(Link()->deadline, now + 2000);
    EXPECT_EQ(port->ops.RxUsed(port), 2);
    EXPECT_EQ(port->ops.ReadChar(port), 0x41);
    EXPECT_EQ(port->ops.ReadChar(port), 0x42);
}

TEST_F(IrLinkStep, BadFrameFromTheOtherSideIsDroppedAndTheTurnStays) {
    ASSERT_TRUE(OpenGivingTheTurnToASilentPeer());
    dev->DeliverToHost(Bytes{0xC0, 0x22, 0x41, 0xC1});
    EXPECT_EQ(LinkPump(Link()), 4);
    EXPECT_EQ(LinkStep(Link()), kStepBadFrame);
    EXPECT_EQ(port->ops.RxUsed(port), 0);
    EXPECT_EQ(Link()->state, kIrReceiving);
    EXPECT_EQ(Link()->framesPending, 0);
}

TEST_F(IrLinkStep, SilentOtherSideLosesItsTurnAfter2400ms) {
    ASSERT_TRUE(OpenGivingTheTurnToASilentPeer());
    const uint32_t start = ticks.Now();
    int idles = 0;
    while (Link()->state == kIrReceiving && idles < 1000) {
        Idle();  // every empty pump waits 25 ms on the fake clock
        ++idles;
    }
    ASSERT_EQ(Link()->state, kIrSending);
    const uint32_t elapsed = ticks.Now() - start;
    EXPECT_GE(elapsed, 2400u);
    EXPECT_LE(elapsed, 2400u + 25u);
    // Our next turn sends a final frame again.
    LinkStep(Link());
    EXPECT_EQ(sim->HostTurns(), 2);
}

TEST_F(IrLinkStep, LongSendingTurnIsCutAfter2000ms) {
    ASSERT_NE(Open(19200, {.passTurn = false}), nullptr);
    ASSERT_EQ(Write(Counting(8000)), 0);
    EXPECT_EQ(LinkStep(Link()), kStepGoOn);  // three full frames, turn kept
    LinkPump(Link());
    ticks.Advance(Link()->deadline - ticks.Now() - 1);
    EXPECT_EQ(LinkStep(Link()), kStepGoOn);
    LinkPump(Link());
    ticks.Advance(1);
    EXPECT_EQ(LinkStep(Link()), kStepFinalQueued);
    while (Link()->state == kIrSending) Idle();
    const auto frames = sim->HostFrames();
    ASSERT_EQ(frames.size(), 9u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(frames[i].control, 0xF0) << i;
    EXPECT_EQ(frames[8].control, 0xF1);
    EXPECT_EQ(frames[8].data.size(), 150u);  // cut short: more data was waiting
    EXPECT_EQ(port->ops.TxUsed(port), 8000 - 9 * 150);
}

TEST_F(IrLinkStep, UnknownStateIsReportedOnce) {
    ASSERT_NE(Open(9600), nullptr);
    Link()->state = 7;
    EXPECT_EQ(LinkStep(Link()), -1);
    EXPECT_EQ(boxes, std::vector<std::string>{"Invalid state"});
    EXPECT_EQ(LinkPump(Link()), 0);
}

TEST_F(IrLinkStep, VanishedDeviceIsReportedOnceAndStopsTheLink) {
    ASSERT_NE(Open(9600), nullptr);
    ASSERT_EQ(Write(Counting(20)), 0);
    dev->Vanish();
    LinkStep(Link());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "ReopenComm: 1167");
    EXPECT_EQ(Link()->state, kIrClosed);
    for (int i = 0; i < 5; ++i) Idle();
    EXPECT_EQ(boxes.size(), 1u);
    // The rings still answer; closing releases everything.
    EXPECT_EQ(Write(Counting(5)), 0);
}

TEST_F(IrLinkStep, ClosedOrMissingLinkDoesNothing) {
    EXPECT_EQ(LinkStep(nullptr), 0);
    EXPECT_EQ(LinkPump(nullptr), 0);
    ASSERT_NE(Open(9600), nullptr);
    Link()->state = kIrClosed;
    ASSERT_EQ(Write(Counting(5)), 0);
    EXPECT_EQ(LinkStep(Link()), 0);
    EXPECT_EQ(LinkPump(Link()), 0);
    EXPECT_TRUE(sim->RawLinkBytes().empty());
}

}  // namespace
}  // namespace tolvan::irtest
