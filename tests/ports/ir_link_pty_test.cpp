// The infra-red link over a real pseudo-terminal, with the transceiver simulator on the
// master side in a thread of its own: open, a 20 KiB echo round trip, a silent
// transceiver and a device that goes away.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <random>
#include <termios.h>
#include <thread>

#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "ports/ir_driver.h"
#include "ports/ir_transceiver.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/message_box_recorder.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

using Bytes = std::vector<uint8_t>;
using test::IrSimOptions;
using test::IrSimPtyRunner;
using test::IrTransceiverSim;

constexpr int kCom = 9;

// Waits (in real time, briefly) for something the simulator thread does.
template <typename Pred>
bool Eventually(Pred pred) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class IrPtyLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.master(), 0);
        previousLocks_ = plat::LockDirectory();
        plat::SetLockDirectory(locks.path());
        plat::DeviceMap::Set(kCom, pty.slavePath());
    }

    void TearDown() override {
        if (port) port->ops.Close(port);
        runner.reset();
        plat::DeviceMap::Remove(kCom);
        plat::SetLockDirectory(previousLocks_);
    }

    PortObject* Open(int32_t baud, IrSimOptions options = {}, int* code = nullptr) {
        sim = std::make_unique<IrTransceiverSim>(options);
        runner = std::make_unique<IrSimPtyRunner>(pty.master(), *sim);
        port = OpenIrPort(kCom - 1, baud, 0, code);
        return port;
    }

    void Idle() {
        LinkStep(IrLink(port));
        LinkPump(IrLink(port));
    }

    // Fake time, with a short real pause wherever the link waits on the device so that
    // the simulator thread gets to answer.
    test::MessageBoxRecorder boxRecorder;
    std::vector<std::string>& boxes = boxRecorder.texts;
    plat::FakeTickSource ticks{1000, std::chrono::microseconds(2000)};
    plat::ScopedTickSource scopedTicks{ticks};
    test::PtyPair pty;
    test::ScratchDir locks;
    std::unique_ptr<IrTransceiverSim> sim;
    std::unique_ptr<IrSimPtyRunner> runner;
    PortObject* port = nullptr;

private:
    std::string previousLocks_;
};

TEST_F(IrPtyLink, OpensAndSetsTheTransceiverAndTheLineSpeed) {
    int code = -1;
    ASSERT_NE(Open(57600, {}, &code), nullptr) << code << " err " << plat::GetLastError();
    ASSERT_TRUE(Eventually([&] { return sim->CurrentPhase() == IrTransceiverSim::Phase::Link; }));
    EXPECT_EQ(sim->InitBytes(), Bytes(std::begin(kIrInitBytes), std::end(kIrInitBytes)));
    EXPECT_EQ(sim->SpeedCommand(), (Bytes{0x83, 0x90, 0x11}));
    const termios t = pty.MasterTermios();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(IrLink(port)->state, kIrSending);
    EXPECT_TRUE(runner->Healthy());
}

TEST_F(IrPtyLink, TwentyKilobytesMakeTheRoundTripCompleteAndInOrder) {
    ASSERT_NE(Open(115200, {.echo = true, .maxBytesPerTurn = 1200}), nullptr);

    std::mt19937 rng(20);
    Bytes sent(20 * 1024);
    for (auto& b : sent) b = static_cast<uint8_t>(rng());

    Bytes got;
    size_t written = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (got.size() < sent.size() && std::chrono::steady_clock::now() < giveUp) {
        // Feed in chunks of varying size as room allows, like a client would.
        const int room = port->ops.TxFree(port);
        const size_t chunk =
            std::min<size_t>({sent.size() - written, static_cast<size_t>(room), 1 + rng() % 3000});
        if (chunk > 0) {
            ASSERT_EQ(
                port->ops.WriteBuffer(port, sent.data() + written, static_cast<int32_t>(chunk)), 0);
            written += chunk;
        }
        Idle();
        const int waiting = port->ops.RxUsed(port);
        if (waiting > 0) {
            const size_t at = got.size();
            got.resize(at + static_cast<size_t>(waiting));
            ASSERT_EQ(port->ops.ReadBuffer(port, got.data() + at, waiting), 0);
        }
    }
    ASSERT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent);
    EXPECT_EQ(sim->Received(), sent);
    EXPECT_EQ(sim->BadFrames(), 0);
    EXPECT_GE(sim->HostTurns(), 2);
    EXPECT_GE(sim->SimTurns(), 20 * 1024 / 1200);
    for (const auto& frame : sim->HostFrames()) ASSERT_LE(frame.data.size(), 150u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(runner->Healthy());
}

TEST_F(IrPtyLink, TransceiverThatNeverAnswersFailsTheOpen) {
    int code = -1;
    EXPECT_EQ(Open(9600, {.probesToIgnore = -1}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceSetup);
    EXPECT_TRUE(Eventually([&] { return sim->ProbesSeen() == 10; }));
    // The device was released: it can be opened again at once.
    const plat::CommHandle h = plat::OpenComm("COM" + std::to_string(kCom));
    EXPECT_NE(h, plat::kInvalidCommHandle);
    plat::CloseComm(h);
}

TEST_F(IrPtyLink, WritesRefusedByAFullDeviceAreReportedOnceAndLoseNothing) {
    ASSERT_NE(Open(9600), nullptr);
    ASSERT_TRUE(Eventually([&] { return sim->CurrentPhase() == IrTransceiverSim::Phase::Link; }));
    runner->Stop();
    // Fill the pty until it takes no more; the transceiver ignores zeros between frames.
    fcntl(pty.slave(), F_SETFL, fcntl(pty.slave(), F_GETFL) | O_NONBLOCK);
    // The kernel moves data on behind the scenes and keeps room for small writes: fill
    // with ever smaller writes until nothing more is taken for a while.
    const Bytes zeros(4096, 0);
    for (int quiet = 0; quiet < 3;) {
        bool took = false;
        for (size_t chunk : {4096u, 256u, 16u, 1u})
            while (write(pty.slave(), zeros.data(), chunk) > 0) took = true;
        quiet = took ? 0 : quiet + 1;
        poll(nullptr, 0, 10);
    }

    Bytes data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(port->ops.WriteBuffer(port, data.data(), 40), 0);
    const uint32_t start = ticks.Now();
    Idle();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "ReopenComm: 1460");
    EXPECT_GE(ticks.Now() - start, 4u * 70u);  // four tries of 20 + 50 ms each
    EXPECT_EQ(IrLink(port)->state, kIrSending);
    for (int i = 0; i < 3; ++i) Idle();
    EXPECT_EQ(boxes.size(), 1u);  // not again for every byte and every idle call

    // The transceiver reads again: the frame goes out whole and once.
    runner = std::make_unique<IrSimPtyRunner>(pty.master(), *sim);
    for (int i = 0; i < 200 && IrLink(port)->state == kIrSending; ++i) Idle();
    EXPECT_EQ(IrLink(port)->state, kIrReceiving);
    ASSERT_TRUE(Eventually([&] { return sim->HostTurns() == 1; }));
    EXPECT_EQ(sim->Received(), data);
    EXPECT_EQ(sim->BadFrames(), 0);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(IrPtyLink, HungUpDeviceStopsTheLinkWithOneMessage) {
    ASSERT_NE(Open(9600), nullptr);
    Idle();  // our empty final frame; the simulator answers
    ASSERT_TRUE(Eventually([&] { return sim->HostTurns() == 1; }));
    runner->Stop();
    pty.CloseMaster();
    for (int i = 0; i < 20 && IrLink(port)->state != kIrClosed; ++i) Idle();
    EXPECT_EQ(IrLink(port)->state, kIrClosed);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("ReopenComm: ", 0), 0u);
    for (int i = 0; i < 5; ++i) Idle();
    EXPECT_EQ(boxes.size(), 1u);
}

}  // namespace
}  // namespace tolvan
