// The shared port on simulated devices: the counted write lock, ring resizing, line and
// flow-control queries, what Open sets up, every way opening can fail, ring memory that
// cannot be locked, and an infra-red link driven by idle service.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ticks.h"
#include "ports/ir_driver.h"
#include "ports/serial_driver.h"
#include "tests/ports/shared_port_fixture.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/message_box_recorder.h"

namespace tolvan::sptest {
namespace {

constexpr int kCom = 3;

class SharedPortSimTest : public SharedPortTest {
protected:
    void SetUp() override {
        SharedPortTest::SetUp();
        dev = MapSim(kCom);
        ProbeOnly(kCom);
    }
    // Delivers bytes at the device and polls them into the ring.
    void Arrive(const Bytes& bytes) {
        dev->DeliverToHost(bytes);
        ASSERT_EQ(port->PollReceive(), 0);
    }
    std::shared_ptr<plat::SimDevice> dev;
};

TEST_F(SharedPortSimTest, TheWriteLockNestsAndLeavesWithItsOwner) {
    ChannelDouble a, b, c;
    EXPECT_FALSE(port->IsLockedByOther(&b)) << "a closed port is locked by nobody";
    ASSERT_TRUE(Connect(kCom, {&a, &b, &c}));

    EXPECT_EQ(port->LockFor(&a), 1);
    EXPECT_EQ(port->LockFor(&a), 1);
    EXPECT_EQ(port->LockCount(), 2);
    EXPECT_EQ(port->LockFor(&b), 0);
    EXPECT_TRUE(port->IsLockedByOther(&b));
    EXPECT_FALSE(port->IsLockedByOther(&a));
    EXPECT_EQ(b.WriteToPort(B("blocked")), 0u);
    EXPECT_EQ(b.Tx()->Count(), 0u);
    EXPECT_TRUE(dev->TakeHostWritten().empty());

    EXPECT_EQ(port->UnlockFor(&b), 0) << "only the owner unlocks";
    EXPECT_EQ(port->UnlockFor(&a), 1);
    EXPECT_EQ(port->LockFor(&b), 0) << "one level is still held";
    EXPECT_EQ(port->UnlockFor(&a), 0);
    EXPECT_EQ(port->LockOwner(), nullptr);
    EXPECT_EQ(port->UnlockFor(&a), 0);
    EXPECT_EQ(port->LockCount(), 0) << "unlocking more often than locked does not go below 0";

    // Leaving releases every level at once.
    ASSERT_EQ(port->LockFor(&b), 1);
    ASSERT_EQ(port->LockFor(&b), 1);
    b.Disconnect();
    EXPECT_EQ(port->LockOwner(), nullptr);
    EXPECT_EQ(port->LockCount(), 0);
    EXPECT_EQ(port->LockFor(&c), 1);
    EXPECT_EQ(c.WriteToPort(B("ok")), 2u);
    EXPECT_EQ(dev->TakeHostWritten(), B("ok"));
    EXPECT_EQ(port->LockFor(nullptr), 0);
}

TEST_F(SharedPortSimTest, ResizingARingRestartsEveryViewOrChangesNothing) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a, &b}));
    Arrive(Pattern(600));
    ASSERT_EQ(port->RxPosition(), 600u);
    a.hints.clear();

    EXPECT_EQ(port->ResizeReceive(1050), 1050u) << "same size";
    EXPECT_EQ(port->ResizeReceive(599), 1050u) << "below the ring position";
    EXPECT_EQ(port->ResizeReceive(0), 1050u);
    EXPECT_EQ(port->ResizeReceive(0x80000000u), 1050u);
    EXPECT_EQ(port->ResizeReceive(0xFFFFFFFFu), 1050u) << "a negative size from a client";
    EXPECT_EQ(a.Rx()->Count(), 600u) << "refused resizes keep the unread bytes";
    EXPECT_TRUE(a.hints.empty());

    plat::MemoryFaults::FailAllocations(0, 1);
    EXPECT_EQ(port->ResizeReceive(4000), 1050u) << "memory that cannot be had";
    plat::MemoryFaults::Reset();
    EXPECT_EQ(a.Rx()->Count(), 600u);

    EXPECT_EQ(port->ResizeReceive(600), 600u) << "down to the position itself";
    EXPECT_EQ(port->ResizeReceive(2000), 2000u);
    for (ChannelDouble* c : {&a, &b}) {
        EXPECT_EQ(c->Rx()->Size(), 2000u);
        EXPECT_EQ(c->Rx()->Count(), 0u) << "unread bytes are dropped";
        EXPECT_EQ(c->Rx()->Flags(), 0u);
        EXPECT_EQ(c->Rx()->WriteIndex(), port->RxPosition() % 2000);
        ASSERT_FALSE(c->hints.empty());
        EXPECT_EQ(c->hints.back(), 0);
    }
    EXPECT_EQ(plat::GlobalSize(port->RxMemory()), 2000u);
    Arrive(B("after"));
    EXPECT_EQ(a.ReadAll(), B("after"));
    EXPECT_EQ(b.ReadAll(), B("after"));

    // The transmit ring alike; its pending bytes are dropped, later writes still go out.
    dev->HoldTransmit(true);
    a.WriteToPort(B("stuck"));
    EXPECT_EQ(port->ResizeTransmit(3000), 3000u);
    EXPECT_EQ(a.Tx()->Count(), 0u);
    EXPECT_EQ(b.Tx()->Size(), 3000u);
    dev->HoldTransmit(false);
    dev->TakeHostWritten();
    EXPECT_EQ(b.WriteToPort(B("fresh")), 5u);
    EXPECT_EQ(dev->TakeHostWritten(), B("fresh"));
}

TEST_F(SharedPortSimTest, OpenPreparesTheDeviceAndQueriesReportIt) {
    ChannelDouble a;
    int32_t baud = -1;
    int16_t parity = '?', word = -1, stop = -1;
    bool dtr = true, rts = true, xon = true;
    EXPECT_FALSE(port->QuerySettings(baud, parity, word, stop));
    EXPECT_EQ(baud, -1) << "outputs untouched while closed";
    EXPECT_FALSE(port->QueryFlowControl(dtr, rts, xon));
    EXPECT_EQ(port->ApplyFlowControl(true, true, true), -6);
    EXPECT_EQ(port->SetDtr(true), -6);
    EXPECT_EQ(port->Reconfigure(9600, 'N', 8, 1), -6);

    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 2400, 'e', 7, 2), 0);
    const plat::Dcb applied = dev->Settings();
    EXPECT_TRUE(applied.fBinary);
    EXPECT_TRUE(applied.fParity);
    EXPECT_FALSE(applied.fNull);
    EXPECT_FALSE(applied.fOutxCtsFlow);
    EXPECT_EQ(applied.fDtrControl, plat::DTR_CONTROL_ENABLE);
    EXPECT_EQ(applied.fRtsControl, plat::RTS_CONTROL_ENABLE);
    EXPECT_EQ(applied.XonLim, 262);
    EXPECT_EQ(applied.XoffLim, 262);
    EXPECT_EQ(applied.XonChar, 17);
    EXPECT_EQ(applied.XoffChar, 19);
    EXPECT_TRUE(dev->Dtr());
    EXPECT_EQ(port->PortName(), "COM3");

    ASSERT_TRUE(port->QuerySettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 2400);
    EXPECT_EQ(parity, 'E');
    EXPECT_EQ(word, 7);
    EXPECT_EQ(stop, 2);

    ASSERT_EQ(port->Reconfigure(115200, 'M', 8, 1), 0);
    ASSERT_TRUE(port->QuerySettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 57601) << "the driver's stored value for 115200";
    EXPECT_EQ(parity, 'M');
    EXPECT_EQ(stop, 1);

    ASSERT_EQ(port->Reconfigure(4800, 'S', 7, 2), 0);
    parity = '?';
    EXPECT_FALSE(port->QuerySettings(baud, parity, word, stop)) << "space parity has no letter";
    EXPECT_EQ(baud, 4800);
    EXPECT_EQ(word, 7);
    EXPECT_EQ(stop, 2);
    EXPECT_EQ(parity, '?');

    ASSERT_EQ(port->ApplyFlowControl(true, true, true), 0);
    ASSERT_TRUE(port->QueryFlowControl(dtr, rts, xon));
    EXPECT_TRUE(dtr && rts && xon);
    EXPECT_EQ(port->SetDtr(false), 0);
    ASSERT_TRUE(port->QueryFlowControl(dtr, rts, xon));
    EXPECT_FALSE(dtr) << "a plain DTR setting replaces the handshake";
    EXPECT_TRUE(rts);
    EXPECT_FALSE(dev->Dtr());
    EXPECT_EQ(port->SetRts(false), 0);
    EXPECT_FALSE(dev->Rts());
    ASSERT_EQ(port->ApplyFlowControl(false, false, false), 0);
    ASSERT_TRUE(port->QueryFlowControl(dtr, rts, xon));
    EXPECT_FALSE(dtr || rts || xon);

    // A refused setting: the status comes back and the titles stay.
    const int titles = a.titleRefreshes;
    EXPECT_EQ(port->Reconfigure(9600, 'X', 8, 1), -26);
    EXPECT_EQ(port->Port()->status, -26);
    EXPECT_EQ(a.titleRefreshes, titles);
}

TEST_F(SharedPortSimTest, FailedOpensLeaveThePortClosedAndTheDeviceFree) {
    ChannelDouble a;
    const size_t blocks = plat::GlobalBlockCount();

    // Held by someone else.
    const plat::CommHandle other = plat::OpenComm("COM3");
    ASSERT_NE(other, plat::kInvalidCommHandle);
    EXPECT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 1), -2);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(a.Port(), nullptr);
    EXPECT_EQ(a.titleRefreshes, 0);
    plat::CloseComm(other);

    // Line settings the driver refuses.
    EXPECT_EQ(registry.ConnectChannel(&a, kCom, 50, 'N', 8, 1), -25);
    EXPECT_EQ(registry.ConnectChannel(&a, kCom, 9600, 'N', 8, 3), -28);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(registry.ConnectChannel(&a, 5, 9600, 'N', 8, 1), -2) << "no such COM number";

    // Every allocation of the open failing in turn: either the open works, or it fails
    // with the port closed, nothing leaked and the device free.
    bool ringFailureSeen = false;
    for (int pass = 0; pass < 8; ++pass) {
        plat::MemoryFaults::FailAllocations(pass, 1);
        const int r = port->Open(9600, 'N', 8, 1);
        plat::MemoryFaults::Reset();
        if (r == 0) {
            ASSERT_TRUE(port->IsOpen());
            ChannelDouble probe;
            port->Attach(&probe);
            probe.Disconnect();  // the last one leaving closes it again
        } else {
            EXPECT_EQ(r, -5) << "pass " << pass;
            EXPECT_FALSE(port->IsOpen());
            EXPECT_EQ(port->RxMemory(), 0u);
            EXPECT_EQ(port->TxMemory(), 0u);
            if (pass >= 2) ringFailureSeen = true;
        }
        EXPECT_EQ(plat::GlobalBlockCount(), blocks) << "pass " << pass;
        const plat::CommHandle h = plat::OpenComm("COM3");
        EXPECT_NE(h, plat::kInvalidCommHandle) << "device left held after pass " << pass;
        plat::CloseComm(h);
    }
    EXPECT_TRUE(ringFailureSeen);
}

TEST_F(SharedPortSimTest, AnUnusableDefaultRingSizeFailsTheOpen) {
    RingSizes sizes{0, 1050};
    CSharedPort lone(kCom, sizes);
    EXPECT_EQ(lone.Open(9600, 'N', 8, 1), -4);
    EXPECT_FALSE(lone.IsOpen());
    sizes.rx = 64;
    ASSERT_EQ(lone.Open(9600, 'N', 8, 1), 0);
    EXPECT_EQ(lone.RxSize(), 64u);
}

TEST_F(SharedPortSimTest, RingMemoryThatCannotBeLockedLosesNoBytes) {
    ChannelDouble a;
    ASSERT_TRUE(Connect(kCom, {&a}));
    dev->DeliverToHost(B("kept"));
    plat::MemoryFaults::FailLocks(0, 1);
    EXPECT_EQ(port->PollReceive(), -1);
    EXPECT_EQ(port->Port()->status, -1);
    EXPECT_EQ(a.Rx()->Count(), 0u);
    plat::MemoryFaults::Reset();
    EXPECT_EQ(a.ReadAll(), B("kept")) << "the bytes waited in the device";

    ASSERT_EQ(a.Tx()->Write(B("later")), 5u);
    plat::MemoryFaults::FailLocks(0, 1);
    EXPECT_EQ(port->PushTransmit(a.Tx()->Count()), -1);
    plat::MemoryFaults::Reset();
    EXPECT_TRUE(dev->TakeHostWritten().empty());
    EXPECT_EQ(port->PushTransmit(a.Tx()->Count()), 0);
    EXPECT_EQ(dev->TakeHostWritten(), B("later"));
    EXPECT_EQ(port->PushTransmit(0), 0);
}

TEST_F(SharedPortSimTest, PendingBytesWrapAroundTheTransmitRing) {
    ChannelDouble a, b;
    ASSERT_TRUE(Connect(kCom, {&a, &b}));
    const Bytes first = Pattern(1000, 5);
    ASSERT_EQ(a.WriteToPort(first), 1000u);
    EXPECT_EQ(dev->TakeHostWritten(), first);
    EXPECT_EQ(port->TxPosition(), 1000u);
    // 120 bytes: 50 before the end, 70 from the start, out in one push.
    const Bytes second = Pattern(120, 6);
    ASSERT_EQ(b.WriteToPort(second), 120u);
    EXPECT_EQ(dev->TakeHostWritten(), second);
    EXPECT_EQ(port->TxPosition(), 70u);
    EXPECT_EQ(a.Tx()->Count(), 0u);
    EXPECT_EQ(b.Tx()->Count(), 0u);
    EXPECT_EQ(a.Tx()->ReadIndex(), 70u);
}

// An infra-red link behind a simulated device, on a clock that moves only when the code
// waits.
class SharedPortIrTest : public SharedPortSimTest {
protected:
    void Plug(test::IrSimOptions options = {}) {
        sim = std::make_unique<test::IrTransceiverSim>(options);
        dev->SetPeer(std::make_shared<test::IrSimPeer>(*sim));
    }

    test::MessageBoxRecorder boxRecorder;
    plat::FakeTickSource ticks{1000};
    plat::ScopedTickSource scopedTicks{ticks};
    std::unique_ptr<test::IrTransceiverSim> sim;
};

TEST_F(SharedPortIrTest, AnInfraRedPortIsServedOnlyWhileOpen) {
    Plug();
    ChannelDouble a;
    EXPECT_FALSE(registry.NeedsIdleService());
    ASSERT_EQ(registry.ConnectChannel(&a, kCom, 9600, 0, 8, 1), 0);
    ASSERT_NE(port->Port(), nullptr);
    EXPECT_EQ(port->Port()->type, kDriverInfraRed);
    EXPECT_TRUE(port->NeedsIdleService());
    EXPECT_TRUE(registry.NeedsIdleService());

    int32_t baud = 0;
    int16_t parity = 0, word = 0, stop = 0;
    ASSERT_TRUE(port->QuerySettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 115200) << "whatever the link runs at";
    EXPECT_EQ(parity, 'N');
    EXPECT_EQ(word, 8);
    EXPECT_EQ(stop, 1);
    bool dtr = true, rts = true, xon = true;
    ASSERT_TRUE(port->QueryFlowControl(dtr, rts, xon));
    EXPECT_FALSE(dtr || rts || xon);
    EXPECT_EQ(port->ApplyFlowControl(false, false, false), -24);

    // Out through the link's turns, and the far side's answer back in.
    ASSERT_EQ(a.WriteToPort(B("hello")), 5u);
    sim->QueueToHost(B("world"));
    Bytes in;
    for (int i = 0; i < 200 && (sim->Received().size() < 5 || in.size() < 5); ++i) {
        registry.IdleService();
        const Bytes got = a.ReadAll();
        in.insert(in.end(), got.begin(), got.end());
    }
    EXPECT_EQ(sim->Received(), B("hello"));
    EXPECT_EQ(in, B("world"));
    EXPECT_TRUE(boxRecorder.texts.empty());

    a.Disconnect();
    EXPECT_FALSE(port->NeedsIdleService());
    EXPECT_FALSE(registry.NeedsIdleService());
    port->IdleService();  // nothing to serve, nothing touched
}

TEST_F(SharedPortIrTest, ALinkThatCannotBeOpenedIsAnInvalidPort) {
    Plug({.probesToIgnore = -1});
    ChannelDouble a;
    EXPECT_EQ(registry.ConnectChannel(&a, kCom, 9600, 1, 8, 1), -2);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(registry.NeedsIdleService());
    const plat::CommHandle h = plat::OpenComm("COM3");
    EXPECT_NE(h, plat::kInvalidCommHandle) << "the device is free again";
    plat::CloseComm(h);
}

}  // namespace
}  // namespace tolvan::sptest
