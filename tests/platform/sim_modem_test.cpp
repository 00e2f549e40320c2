// The simulated modem as a modem channel meets it: through the serial API on
// "sim://" and through a real pty with the modem on the master side. Every conversation
// runs on both wires.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/serial_api.h"
#include "platform/sim_device.h"
#include "platform/sim_modem.h"
#include "tests/support/modem_sim_pty.h"
#include "tests/support/pty_pair.h"

namespace tolvan::plat {
namespace {

// One wire to a simulated modem, seen through a serial handle.
class ModemWire {
public:
    virtual ~ModemWire() {
        if (h != kInvalidCommHandle) CloseComm(h);
    }
    virtual HayesModemSim& Modem() = 0;

    void Send(const std::string& text) {
        uint32_t written = 0;
        ASSERT_TRUE(WriteComm(h, text.data(), static_cast<uint32_t>(text.size()), &written));
        ASSERT_EQ(written, text.size());
    }
    // Reads until n bytes came (or the read time-out, a failure only).
    std::string Receive(size_t n) {
        std::string out(n, '\0');
        uint32_t got = 0;
        EXPECT_TRUE(ReadComm(h, out.data(), static_cast<uint32_t>(n), &got));
        out.resize(got);
        return out;
    }
    // Sends a line and returns as many bytes as the expected answer has.
    std::string Say(const std::string& text, const std::string& expected) {
        Send(text);
        return Receive(expected.size());
    }

    CommHandle h = kInvalidCommHandle;
};

class SimWire final : public ModemWire {
public:
    SimWire() {
        modem_ = RegisterSimulatedModem("test-modem");
        h = OpenComm("sim://test-modem");
    }
    ~SimWire() override {
        if (h != kInvalidCommHandle) CloseComm(h);
        h = kInvalidCommHandle;
        UnregisterSimDevice("test-modem");
    }
    HayesModemSim& Modem() override { return *modem_; }

private:
    std::shared_ptr<HayesModemSim> modem_;
};

class PtyWire final : public ModemWire {
public:
    PtyWire() : runner_(pty_.master(), modem_) {
        SetLockDirectory(locks_.path());
        h = OpenComm(pty_.slavePath());
        // Bytes cross the pty in the kernel's time: wait for them, but never forever.
        SetCommTimeouts(h, {.ReadIntervalTimeout = 0, .ReadTotalTimeoutConstant = 3000});
    }
    ~PtyWire() override {
        if (h != kInvalidCommHandle) CloseComm(h);
        h = kInvalidCommHandle;
        runner_.Stop();
        EXPECT_TRUE(runner_.Healthy());
        SetLockDirectory("/var/lock");
    }
    HayesModemSim& Modem() override { return modem_; }

private:
    test::ScratchDir locks_;
    test::PtyPair pty_;
    HayesModemSim modem_;
    test::ModemSimPtyRunner runner_;
};

class SimModem : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam())
            wire = std::make_unique<PtyWire>();
        else
            wire = std::make_unique<SimWire>();
        ASSERT_NE(wire->h, kInvalidCommHandle) << GetLastError();
    }
    HayesModemSim& modem() { return wire->Modem(); }
    // Checks one exchange.
    void Expect(const std::string& send, const std::string& answer) {
        EXPECT_EQ(wire->Say(send, answer), answer) << "after sending " << send;
    }
    std::unique_ptr<ModemWire> wire;
};

TEST_P(SimModem, CommandLinesAreEchoedAndAnsweredUntilEchoGoesOff) {
    Expect("AT\r", "AT\r\r\nOK\r\n");
    Expect("at\r", "at\r\r\nOK\r\n");
    // Noise before "AT" and a line without it are echoed and otherwise ignored.
    Expect("xyz\rATL3M0\r", "xyz\rATL3M0\r\r\nOK\r\n");
    EXPECT_EQ(modem().Loudness(), 3);
    EXPECT_EQ(modem().Speaker(), 0);
    // The line that turns echo off is itself still echoed.
    Expect("ATE0\r", "ATE0\r\r\nOK\r\n");
    Expect("AT\r", "\r\nOK\r\n");
    Expect("ATE1\r", "\r\nOK\r\n");
    Expect("AT\r", "AT\r\r\nOK\r\n");
}

TEST_P(SimModem, DigitAnswersAndQuietMode) {
    Expect("ATE0V0\r", "ATE0V0\r0\r");
    Expect("ATJ\r", "4\r");
    Expect("ATDT1\r", "1\r");
    Expect("+++", "+++0\r");
    Expect("ATH0\r", "0\r");
    // Quiet: the OK of ATQ1 itself is missing, the next answer is the one of ATQ0.
    Expect("ATQ1\r", "");
    Expect("ATQ0\r", "0\r");
    EXPECT_FALSE(modem().Quiet());
    Expect("ATV1\r", "\r\nOK\r\n");
}

TEST_P(SimModem, RegistersAreReadInThreeDigitsAndReset) {
    Expect("ATE0\r", "ATE0\r\r\nOK\r\n");
    Expect("ATS7?\r", "\r\n050\r\n\r\nOK\r\n");
    Expect("ATS7=30\r", "\r\nOK\r\n");
    Expect("ATS7?\r", "\r\n030\r\n\r\nOK\r\n");
    Expect("ATS8=5S8?\r", "\r\n005\r\n\r\nOK\r\n");
    // The register named last is the one S? and S= refer to.
    Expect("ATS0 S=200 S?\r", "\r\n200\r\n\r\nOK\r\n");
    for (const char* bad : {"ATS256?\r", "ATS7=256\r", "ATS\r", "ATS99999999999=1\r"})
        Expect(bad, "\r\nERROR\r\n");
    EXPECT_EQ(modem().Register(7), 30);
    Expect("ATV0S7?\r", "030\r\n0\r");
    // Factory settings: the line itself is not echoed, its answer is already in words.
    Expect("AT&F1\r", "\r\nOK\r\n");
    Expect("ATS7?S8?\r", "ATS7?S8?\r\r\n050\r\n\r\n002\r\n\r\nOK\r\n");
    Expect("ATS7=9E0\r", "ATS7=9E0\r\r\nOK\r\n");
    Expect("ATI\r", "\r\nTolvan32 simulated modem\r\n\r\nOK\r\n");
    Expect("ATI3\r", "\r\n3000\r\n\r\nOK\r\n");
    Expect("ATZ\r", "\r\nOK\r\n");
    EXPECT_EQ(modem().Register(7), 50);
    EXPECT_TRUE(modem().Echo());
}

TEST_P(SimModem, ConnectedDataComesBackUntilTheEscape) {
    Expect("ATDP1234\r", "ATDP1234\r\r\nCONNECT\r\n");
    EXPECT_EQ(modem().LastDialed(), "P1234");
    EXPECT_TRUE(modem().InDataMode());
    // In data mode a command is only data, and broken-up pluses are no escape.
    Expect("hello AT\r", "hello AT\r");
    Expect("++a+b", "++a+b");
    Expect("+", "+");
    Expect("+", "+");
    EXPECT_TRUE(modem().InDataMode());
    Expect("+", "+\r\nOK\r\n");
    EXPECT_FALSE(modem().InDataMode());
    EXPECT_TRUE(modem().Online());
    // Online command mode: no second dial; O goes back to the data.
    Expect("ATD5\r", "ATD5\r\r\nERROR\r\n");
    Expect("ATO\r", "ATO\r\r\nCONNECT\r\n");
    Expect("x+++", "x+++\r\nOK\r\n");
    Expect("ATH\r", "ATH\r\r\nOK\r\n");
    EXPECT_FALSE(modem().Online());
    Expect("ATO\r", "ATO\r\r\nNO CARRIER\r\n");
}

TEST_P(SimModem, DialAnswersAndTheRepeatOfTheLastLine) {
    modem().SetDialAnswer(SimDialAnswer::Busy);
    Expect("ATDT555\r", "ATDT555\r\r\nBUSY\r\n");
    EXPECT_FALSE(modem().Online());
    // "A/" needs no carriage return and runs the last line again.
    Expect("A/", "A/\r\nBUSY\r\n");
    modem().SetDialAnswer(SimDialAnswer::NoCarrier);
    Expect("a/", "a/\r\nNO CARRIER\r\n");
    EXPECT_EQ(modem().CommandLines().size(), 3u);
    Expect("ATV0DT7\r", "ATV0DT7\r3\r");
    modem().SetDialAnswer(SimDialAnswer::Busy);
    Expect("A/", "A/7\r");
    // A dial ending with ";" stays in command mode.
    modem().SetDialAnswer(SimDialAnswer::Connect);
    Expect("ATV1D 12 34;\r", "ATV1D 12 34;\r\r\nOK\r\n");
    EXPECT_FALSE(modem().Online());
    EXPECT_EQ(modem().LastDialed(), "1234");
}

TEST_P(SimModem, BadCommandsAndOverlongLinesAreRefused) {
    for (const char* bad : {"ATJ\r", "ATI10\r", "ATE2\r", "ATL4\r", "ATM9\r", "AT&Q\r", "AT&\r"}) {
        Expect(bad, std::string(bad) + "\r\nERROR\r\n");
    }
    EXPECT_EQ(modem().Loudness(), 1);
    // Backspace takes back the character before it.
    Expect("ATJ\bE0\r", "ATJ\bE0\r\r\nOK\r\n");
    EXPECT_FALSE(modem().Echo());
    const std::string longLine = "AT" + std::string(HayesModemSim::kMaxLine + 50, 'E') + "\r";
    Expect(longLine, "\r\nERROR\r\n");
    Expect("AT\r", "\r\nOK\r\n");
}

INSTANTIATE_TEST_SUITE_P(Wires, SimModem, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Pty" : "SimDevice"; });

// What only the simulated device shows: modem lines and a modem that keeps the data.
class SimModemLines : public ::testing::Test {
protected:
    void SetUp() override {
        modem =
            RegisterSimulatedModem("lines-modem", SimModemOptions{SimDialAnswer::Connect, false});
        h = OpenComm("sim://lines-modem");
        ASSERT_NE(h, kInvalidCommHandle);
    }
    void TearDown() override {
        CloseComm(h);
        UnregisterSimDevice("lines-modem");
    }
    std::string Say(const std::string& text) {
        uint32_t n = 0;
        EXPECT_TRUE(WriteComm(h, text.data(), static_cast<uint32_t>(text.size()), &n));
        std::string out(256, '\0');
        EXPECT_TRUE(ReadComm(h, out.data(), 256, &n));
        out.resize(n);
        return out;
    }
    uint32_t Status() {
        uint32_t ms = 0;
        EXPECT_TRUE(GetCommModemStatus(h, &ms));
        return ms;
    }
    std::shared_ptr<HayesModemSim> modem;
    CommHandle h = kInvalidCommHandle;
};

TEST_F(SimModemLines, CarrierFollowsTheConnectionAndDtrHangsUp) {
    EXPECT_EQ(Status() & (MS_DSR_ON | MS_CTS_ON | MS_RLSD_ON), MS_DSR_ON | MS_CTS_ON);
    EXPECT_EQ(Say("ATE0D1\r"), "ATE0D1\r\r\nCONNECT\r\n");
    EXPECT_TRUE(Status() & MS_RLSD_ON);
    // This far end keeps the data.
    EXPECT_EQ(Say("data"), "");
    EXPECT_EQ(Say("+++"), "\r\nOK\r\n");
    EXPECT_EQ(modem->DataReceived(), std::vector<uint8_t>({'d', 'a', 't', 'a', '+', '+', '+'}));
    EXPECT_EQ(Say("ATO\r"), "\r\nCONNECT\r\n");
    ASSERT_TRUE(EscapeCommFunction(h, CLRDTR));
    EXPECT_EQ(Say(""), "\r\nNO CARRIER\r\n");
    EXPECT_FALSE(modem->Online());
    EXPECT_FALSE(Status() & MS_RLSD_ON);
    // Lowering DTR with no connection says nothing.
    ASSERT_TRUE(EscapeCommFunction(h, SETDTR));
    ASSERT_TRUE(EscapeCommFunction(h, CLRDTR));
    EXPECT_EQ(Say("AT\r"), "\r\nOK\r\n");
}

TEST_F(SimModemLines, ClosingThePortEndsTheConnection) {
    EXPECT_EQ(Say("ATD1\r"), "ATD1\r\r\nCONNECT\r\n");
    ASSERT_TRUE(CloseComm(h));
    h = OpenComm("sim://lines-modem");
    ASSERT_NE(h, kInvalidCommHandle);
    EXPECT_FALSE(modem->Online());
    EXPECT_FALSE(Status() & MS_RLSD_ON);
    EXPECT_EQ(Say("AT\r"), "AT\r\r\nOK\r\n");
}

}  // namespace
}  // namespace tolvan::plat
