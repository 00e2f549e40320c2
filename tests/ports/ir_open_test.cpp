// Opening an infra-red link: device set-up, the transceiver's probe, initialisation and
// speed commands, and every way the open can fail.
#include "tests/ports/ir_link_fixture.h"

#include "platform/serial_api.h"
#include "ports/ir_transceiver.h"

namespace tolvan::irtest {
namespace {

using IrOpen = IrSimLinkTest;

TEST_F(IrOpen, SetsUpDeviceAndTransceiverAndStartsSending) {
    ASSERT_NE(Open(19200), nullptr);
    EXPECT_EQ(port->type, kDriverInfraRed);
    EXPECT_EQ(port->port, kCom - 1);
    EXPECT_EQ(port->status, 0);
    EXPECT_EQ(port->next, nullptr);  // infra-red ports stay off the open port list

    // The transceiver was reset once through the lines, probed, initialised, sped up.
    EXPECT_EQ(sim->ProbesSeen(), 1);
    EXPECT_EQ(sim->BreaksSeen(), 1);
    EXPECT_EQ(sim->InitBytes(), Bytes(std::begin(kIrInitBytes), std::end(kIrInitBytes)));
    EXPECT_EQ(sim->SpeedCommand(), (Bytes{0x8B, 0x90, 0x11}));
    EXPECT_EQ(sim->CurrentPhase(), IrTransceiverSim::Phase::Link);

    IrLinkRecord* link = Link();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->state, kIrSending);
    EXPECT_EQ(link->framesPerStep, 3);
    EXPECT_EQ(link->framesPending, 0);
    EXPECT_EQ(link->deadline, ticks.Now() + 2000);
    for (ByteRing* ring : {&link->wireTx, &link->wireRx, &link->userTx, &link->userRx})
        EXPECT_EQ(RingFree(*ring), 8191u);

    const plat::Dcb& dcb = link->dcb;
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_TRUE(dcb.fParity);
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fOutX || dcb.fInX);
    EXPECT_EQ(dcb.fDtrControl, plat::DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fRtsControl, plat::RTS_CONTROL_ENABLE);
    EXPECT_EQ(dcb.XonLim, 100);
    EXPECT_EQ(dcb.XoffLim, 100);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, plat::NOPARITY);
    EXPECT_EQ(dcb.StopBits, plat::ONESTOPBIT);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);

    plat::CommTimeouts timeouts;
    ASSERT_TRUE(plat::GetCommTimeouts(link->handle, &timeouts));
    EXPECT_EQ(timeouts, (plat::CommTimeouts{.ReadIntervalTimeout = 0,
                                            .ReadTotalTimeoutMultiplier = 25,
                                            .WriteTotalTimeoutMultiplier = 20,
                                            .WriteTotalTimeoutConstant = 50}));

    // The device ends at the wanted rate with DTR raised and no break left on.
    EXPECT_EQ(dev->Settings().BaudRate, 19200u);
    EXPECT_TRUE(dev->Dtr());
    EXPECT_TRUE(dev->Rts());
    EXPECT_FALSE(dev->Break());
    EXPECT_TRUE(boxes.empty());
}

struct SpeedCase {
    int32_t baud;
    Bytes command;
    int16_t framesPerStep;
};

class IrOpenSpeed : public IrSimLinkTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(IrOpenSpeed, SendsTheSpeedCommandOfTheRate) {
    const SpeedCase& c = GetParam();
    ASSERT_NE(Open(c.baud), nullptr);
    EXPECT_EQ(sim->SpeedCommand(), c.command);
    EXPECT_EQ(Link()->framesPerStep, c.framesPerStep);
    EXPECT_EQ(dev->Settings().BaudRate, static_cast<uint32_t>(c.baud));
}

INSTANTIATE_TEST_SUITE_P(Table, IrOpenSpeed,
                         ::testing::Values(SpeedCase{2400, {0x46, 0x8F, 0x95, 0x11}, 2},
                                           SpeedCase{9600, {0x11}, 2},
                                           SpeedCase{19200, {0x8B, 0x90, 0x11}, 3},
                                           SpeedCase{38400, {0x85, 0x90, 0x11}, 3},
                                           SpeedCase{57600, {0x83, 0x90, 0x11}, 3},
                                           SpeedCase{115200, {0x51, 0x81, 0x90, 0x11}, 3}));

TEST_F(IrOpen, SilentTransceiverFailsAfterTenAttemptsOfAboutFourSeconds) {
    const uint32_t start = ticks.Now();
    int code = -1;
    EXPECT_EQ(Open(9600, {.probesToIgnore = -1}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceSetup);
    EXPECT_EQ(sim->ProbesSeen(), 10);
    EXPECT_EQ(sim->BreaksSeen(), 10);
    const uint32_t elapsed = ticks.Now() - start;
    EXPECT_GE(elapsed, 4000u);
    EXPECT_LT(elapsed, 5000u);
    EXPECT_FALSE(dev->IsOpen());  // the half-opened link was closed again
    EXPECT_TRUE(sim->InitBytes().empty());
}

TEST_F(IrOpen, LateAnswerAndEitherGoodReplyAreAccepted) {
    ASSERT_NE(Open(57600, {.probesToIgnore = 3, .probeReply = 0xF5}), nullptr);
    EXPECT_EQ(sim->ProbesSeen(), 4);
    EXPECT_EQ(sim->SpeedCommand(), (Bytes{0x83, 0x90, 0x11}));
}

TEST_F(IrOpen, WrongProbeReplyIsNoAnswer) {
    int code = -1;
    EXPECT_EQ(Open(9600, {.probeReply = 0xF3}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceSetup);
    EXPECT_EQ(sim->ProbesSeen(), 10);
}

TEST_F(IrOpen, RateWithoutSpeedCommandFails) {
    int code = -1;
    EXPECT_EQ(Open(4800, {}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceSetup);
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_TRUE(sim->SpeedCommand().empty());
}

TEST_F(IrOpen, DeviceThatCannotBeOpenedOrSetUp) {
    int code = -1;
    // No device behind the COM number.
    plat::DeviceMap::Remove(kCom);
    EXPECT_EQ(Open(9600, {}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceOpen);

    // A device that refuses its line settings.
    plat::DeviceMap::Set(kCom, "sim://" + dev->Name());
    dev->RefuseSettings(true);
    EXPECT_EQ(Open(9600, {}, &code), nullptr);
    EXPECT_EQ(code, kLinkDeviceSetup);
    EXPECT_FALSE(dev->IsOpen());
    dev->RefuseSettings(false);
    EXPECT_NE(Open(9600, {}, &code), nullptr);
    EXPECT_EQ(code, kLinkOk);
}

TEST_F(IrOpen, MemoryFailuresGiveNoPortAndLeaveNothingOpen) {
    // The port object, the link record, then each of the four rings.
    for (int pass = 0; pass < 6; ++pass) {
        plat::MemoryFaults::FailAllocations(pass, 1);
        int code = -1;
        EXPECT_EQ(Open(9600, {}, &code), nullptr) << pass;
        EXPECT_EQ(code, kLinkNoMemory) << pass;
        EXPECT_FALSE(dev->IsOpen()) << pass;
        plat::MemoryFaults::Reset();
    }
    EXPECT_NE(Open(9600), nullptr);
}

}  // namespace
}  // namespace tolvan::irtest
