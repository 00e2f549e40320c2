// The port-object operations of an infra-red port: moving bytes through the user rings,
// status handling, SetLine reopening the link, and a port whose link is gone.
#include "tests/ports/ir_link_fixture.h"

namespace tolvan::irtest {
namespace {

using IrPortOps = IrSimLinkTest;

TEST_F(IrPortOps, UnsupportedOperationsAnswer24AndClearStatusResets) {
    ASSERT_NE(Open(9600), nullptr);
    EXPECT_EQ(port->ops.UseXonXoff(port, true), -24);
    EXPECT_EQ(port->status, -24);
    port->ops.ClearStatus(port);
    EXPECT_EQ(port->status, 0);
    EXPECT_EQ(port->ops.SetDtr(port, true), -24);
    EXPECT_EQ(port->ops.ModemStatus(port), -24);
    EXPECT_EQ(port->ops.PeekChar(port), -24);
    std::vector<std::string> lines;
    EXPECT_EQ(port->ops.Dump(port, [&](const std::string& l) { lines.push_back(l); }), -24);
    port->ops.ClearStatus(port);
    // ReservedOp answers -24 without recording it.
    EXPECT_EQ(port->ops.ReservedOp(port), -24);
    EXPECT_EQ(port->status, 0);
}

TEST_F(IrPortOps, CharactersAndBuffersMoveThroughTheUserRings) {
    ASSERT_NE(Open(9600), nullptr);
    EXPECT_EQ(port->ops.TxFree(port), 8191);
    EXPECT_EQ(port->ops.WriteChar(port, 'x'), 0);
    EXPECT_EQ(port->ops.TxUsed(port), 1);
    EXPECT_EQ(port->ops.ClearTx(port), 0);
    EXPECT_EQ(port->ops.TxUsed(port), 0);

    // Reading an empty ring: ReadChar records -8, ReadBuffer does not.
    EXPECT_EQ(port->ops.ReadChar(port), -8);
    EXPECT_EQ(port->status, -8);
    uint8_t buf[8] = {};
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 4), -8);
    EXPECT_EQ(port->status, 0);
    EXPECT_EQ(port->count, 0);

    // A received frame lands in the user ring.
    sim->QueueToHost(Bytes{1, 2, 3, 4, 5});
    LinkStep(Link());
    LinkPump(Link());
    LinkStep(Link());
    EXPECT_EQ(port->ops.RxUsed(port), 5);
    EXPECT_EQ(port->ops.RxFree(port), 8186);
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 2), 0);
    EXPECT_EQ(port->count, 2);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[1], 2);
    // Asking for more than waits delivers what is there and says how much: nothing is lost.
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 8), -8);
    EXPECT_EQ(port->count, 3);
    EXPECT_EQ((Bytes{buf[0], buf[1], buf[2]}), (Bytes{3, 4, 5}));
}

TEST_F(IrPortOps, WriteBeyondTheRingKeepsWhatFitAndCountsIt) {
    ASSERT_NE(Open(9600), nullptr);
    const Bytes big(9000, 0x55);
    EXPECT_EQ(Write(big), -9);
    EXPECT_EQ(port->status, -9);
    EXPECT_EQ(port->count, 8191);
    EXPECT_EQ(port->ops.TxUsed(port), 8191);
    EXPECT_EQ(port->ops.TxFree(port), 0);
    EXPECT_EQ(port->ops.WriteChar(port, 1), -9);
    // Queue counts leave the status alone; a successful operation clears it.
    EXPECT_EQ(port->status, -9);
    EXPECT_EQ(port->ops.ClearTx(port), 0);
    EXPECT_EQ(port->status, 0);
}

TEST_F(IrPortOps, SetLineReopensAtTheNewRate) {
    ASSERT_NE(Open(9600), nullptr);
    ASSERT_EQ(Write(Bytes{1, 2, 3}), 0);
    EXPECT_EQ(port->ops.SetLine(port, 57600, 'E', 7, 2), 0);  // line shape ignored
    EXPECT_EQ(port->status, 0);
    IrLinkRecord* link = Link();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->framesPerStep, 3);
    EXPECT_EQ(link->state, kIrSending);
    EXPECT_EQ(link->dcb.ByteSize, 8);
    EXPECT_EQ(link->dcb.Parity, plat::NOPARITY);
    EXPECT_EQ(sim->SpeedCommand(), (Bytes{0x83, 0x90, 0x11}));
    EXPECT_EQ(dev->Settings().BaudRate, 57600u);
    EXPECT_EQ(port->ops.TxUsed(port), 0);  // a new link starts empty
    // It runs.
    ASSERT_EQ(Write(Bytes{9}), 0);
    LinkStep(Link());
    EXPECT_EQ(sim->Received(), Bytes{9});
}

TEST_F(IrPortOps, PortWithoutLinkAnswersNotSetUpUntilClosedOrReopened) {
    ASSERT_NE(Open(9600), nullptr);
    ASSERT_EQ(Write(Bytes{1, 2, 3}), 0);
    EXPECT_EQ(port->ops.SetLine(port, 4800, 'N', 8, 1), -6);
    EXPECT_EQ(port->status, -6);
    EXPECT_EQ(IrLink(port), nullptr);
    EXPECT_FALSE(dev->IsOpen());

    uint8_t buf[4] = {};
    port->count = 77;
    EXPECT_EQ(port->ops.ReadChar(port), -6);
    EXPECT_EQ(port->ops.WriteChar(port, 1), -6);
    EXPECT_EQ(port->ops.WriteBuffer(port, buf, 4), -6);
    EXPECT_EQ(port->ops.ReadBuffer(port, buf, 4), -6);
    EXPECT_EQ(port->count, 77);
    EXPECT_EQ(port->ops.TxFree(port), -6);
    EXPECT_EQ(port->ops.TxUsed(port), -6);
    EXPECT_EQ(port->ops.RxFree(port), -6);
    EXPECT_EQ(port->ops.RxUsed(port), -6);
    EXPECT_EQ(port->ops.ClearTx(port), -6);
    EXPECT_EQ(port->status, -6);
    EXPECT_EQ(port->ops.UseXonXoff(port, true), -24);
    port->ops.ClearStatus(port);
    EXPECT_EQ(port->status, 0);
    // The idle service finds no link and does nothing.
    EXPECT_EQ(LinkStep(IrLink(port)), 0);
    EXPECT_EQ(LinkPump(IrLink(port)), 0);

    // A later SetLine at a good rate brings the link back.
    EXPECT_EQ(port->ops.SetLine(port, 19200, 'N', 8, 1), 0);
    ASSERT_NE(IrLink(port), nullptr);
    EXPECT_EQ(Write(Bytes{7}), 0);
    LinkStep(Link());
    EXPECT_EQ(sim->Received(), Bytes{7});

    // Losing it again and closing releases everything (the sanitizer build checks).
    EXPECT_EQ(port->ops.SetLine(port, 300, 'N', 8, 1), -6);
    EXPECT_EQ(port->ops.Close(port), 0);
    port = nullptr;
    EXPECT_FALSE(dev->IsOpen());
}

TEST_F(IrPortOps, SetLineFailuresMapToTheirStatus) {
    ASSERT_NE(Open(9600), nullptr);
    plat::MemoryFaults::FailAllocations(0, 1);  // the link record
    EXPECT_EQ(port->ops.SetLine(port, 9600, 'N', 8, 1), -5);
    plat::MemoryFaults::FailAllocations(3, 1);  // a ring
    EXPECT_EQ(port->ops.SetLine(port, 9600, 'N', 8, 1), -5);
    plat::MemoryFaults::Reset();
    dev->Vanish();
    EXPECT_EQ(port->ops.SetLine(port, 9600, 'N', 8, 1), -7);
    EXPECT_EQ(port->status, -7);
    EXPECT_EQ(port->ops.ReadChar(port), -6);
}

}  // namespace
}  // namespace tolvan::irtest
