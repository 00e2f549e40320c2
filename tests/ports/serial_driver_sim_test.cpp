// The serial driver on a simulated device: line settings, handshakes and modem lines,
// breaks on the tick source, line errors, Dump.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/device_map.h"
#include "platform/sim_device.h"
#include "platform/ticks.h"
#include "ports/port_object.h"
#include "ports/serial_driver.h"

namespace tolvan {
namespace {

using plat::Dcb;

// Records what the host does to the lines, with the tick of each change.
class RecordingPeer : public plat::SimPeer {
public:
    void OnHostWrite(plat::SimDevice&, std::span<const uint8_t> b) override {
        written.insert(written.end(), b.begin(), b.end());
    }
    void OnBreak(plat::SimDevice&, bool on) override {
        (on ? breakOn : breakOff) = plat::GetTickCount();
    }
    std::vector<uint8_t> written;
    uint32_t breakOn = 0, breakOff = 0;
};

class SerialDriverSim : public ::testing::Test {
protected:
    static constexpr int kCom = 5;
    void SetUp() override {
        dev = std::make_shared<plat::SimDevice>("driver");
        peer = std::make_shared<RecordingPeer>();
        dev->SetPeer(peer);
        plat::RegisterSimDevice("driver", dev);
        plat::DeviceMap::Set(kCom, "sim://driver");
        SetDefaultQueueSizes(1050, 1050);
    }
    void TearDown() override {
        if (port) port->ops.Close(port);
        plat::DeviceMap::Remove(kCom);
        plat::UnregisterSimDevice("driver");
    }
    PortObject* Open(int32_t baud = 9600, int16_t parity = 'N', int16_t bits = 8,
                     int16_t stop = 1) {
        port = OpenWin32Port(kCom - 1, baud, parity, bits, stop);
        return port;
    }
    const Dcb& dcb() { return SerialRecord(port)->dcb; }

    std::shared_ptr<plat::SimDevice> dev;
    std::shared_ptr<RecordingPeer> peer;
    PortObject* port = nullptr;
};

TEST_F(SerialDriverSim, OpenComposesTheBlockAndAppliesTheLine) {
    Open(19200, 'e', 7, 2);
    ASSERT_EQ(port->status, 0);
    EXPECT_EQ(port->type, 15);
    EXPECT_EQ(port->port, kCom - 1);
    const Dcb applied = dev->Settings();
    EXPECT_EQ(applied.BaudRate, 19200u);
    EXPECT_EQ(applied.ByteSize, 7);
    EXPECT_EQ(applied.Parity, plat::EVENPARITY);  // lower-case taken as upper
    EXPECT_EQ(applied.StopBits, plat::TWOSTOPBITS);
    EXPECT_TRUE(applied.fBinary);
    EXPECT_FALSE(applied.fParity);
    EXPECT_EQ(applied.XonLim, 262);
    EXPECT_EQ(applied.XoffLim, 262);
    EXPECT_EQ(applied.XonChar, 0x11);
    EXPECT_EQ(applied.XoffChar, 0x13);
    EXPECT_TRUE(dev->Dtr());
    EXPECT_TRUE(dev->Rts());
}

TEST_F(SerialDriverSim, SetLineChecksBaudParityAndStopBits) {
    Open();
    ASSERT_EQ(port->status, 0);
    auto setLine = [&](int32_t baud, int16_t parity, int16_t bits, int16_t stop) {
        port->ops.ClearStatus(port);
        return port->ops.SetLine(port, baud, parity, bits, stop);
    };
    EXPECT_EQ(setLine(109, 'N', 8, 1), -25);
    EXPECT_EQ(port->status, -25);
    EXPECT_EQ(setLine(115201, 'N', 8, 1), -25);
    EXPECT_EQ(setLine(110, 'N', 8, 1), 0);
    EXPECT_EQ(dev->Settings().BaudRate, 110u);
    EXPECT_EQ(setLine(115200, 'N', 8, 1), 0);
    EXPECT_EQ(dcb().BaudRate, 57601u);
    EXPECT_EQ(dev->Settings().BaudRate, 57601u);
    for (char c : std::string("emnos")) {
        EXPECT_EQ(setLine(9600, c, 8, 1), 0) << c;
    }
    EXPECT_EQ(dcb().Parity, plat::SPACEPARITY);
    // A bad parity leaves the new baud rate and word length in the block.
    EXPECT_EQ(setLine(2400, 'X', 7, 1), -26);
    EXPECT_EQ(port->status, -26);
    EXPECT_EQ(dcb().BaudRate, 2400u);
    EXPECT_EQ(dcb().ByteSize, 7);
    EXPECT_EQ(dev->Settings().BaudRate, 9600u) << "not applied yet";
    EXPECT_EQ(setLine(9600, 'N', 8, 0), -28);
    EXPECT_EQ(setLine(9600, 'N', 8, 3), -28);
    // A word length the device refuses is a general error, and the device keeps its line.
    EXPECT_EQ(setLine(9600, 'N', 9, 1), -1);
    EXPECT_EQ(dev->Settings().ByteSize, 8);
    EXPECT_EQ(setLine(9600, 'N', -248, 1), -1) << "must not wrap to 8 bits";
}

TEST_F(SerialDriverSim, SetLineDoesNotClearAnEarlierStatus) {
    Open();
    port->ops.PeekChar(port);
    EXPECT_EQ(port->status, -24);
    EXPECT_EQ(port->ops.SetLine(port, 4800, 'N', 8, 1), -24);
    EXPECT_EQ(dev->Settings().BaudRate, 4800u);
}

TEST_F(SerialDriverSim, LinesFollowSetDtrSetRtsAndHandshakes) {
    Open();
    EXPECT_EQ(port->ops.SetDtr(port, false), 0);
    EXPECT_FALSE(dev->Dtr());
    EXPECT_EQ(port->ops.SetRts(port, false), 0);
    EXPECT_FALSE(dev->Rts());
    EXPECT_EQ(port->ops.SetDtr(port, true), 0);
    EXPECT_EQ(port->ops.SetRts(port, true), 0);
    EXPECT_TRUE(dev->Dtr() && dev->Rts());

    EXPECT_EQ(port->ops.UseRtsCts(port, true), 0);
    EXPECT_TRUE(dev->Settings().fOutxCtsFlow);
    EXPECT_EQ(dev->Settings().fRtsControl, plat::RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(port->ops.UseRtsCts(port, false), 0);
    EXPECT_FALSE(dev->Rts()) << "turning the handshake off drops RTS";
    EXPECT_EQ(port->ops.UseDtrDsr(port, true), 0);
    EXPECT_TRUE(dev->Settings().fOutxDsrFlow);
    EXPECT_EQ(dev->Settings().fDtrControl, plat::DTR_CONTROL_HANDSHAKE);
    // SetDtr replaces the handshake mode; the output-flow bit stays.
    EXPECT_EQ(port->ops.SetDtr(port, true), 0);
    EXPECT_EQ(dev->Settings().fDtrControl, plat::DTR_CONTROL_ENABLE);
    EXPECT_TRUE(dev->Settings().fOutxDsrFlow);
    EXPECT_EQ(port->ops.UseDtrDsr(port, false), 0);
    EXPECT_FALSE(dev->Dtr());
    EXPECT_EQ(port->ops.UseXonXoff(port, true), 0);
    EXPECT_TRUE(dev->Settings().fOutX && dev->Settings().fInX);
    EXPECT_EQ(port->ops.UseXonXoff(port, false), 0);
    EXPECT_FALSE(dev->Settings().fOutX || dev->Settings().fInX);
    EXPECT_EQ(port->status, 0);
}

TEST_F(SerialDriverSim, RefusedHandshakeIsReportedButLineChangesAreNot) {
    Open();
    dev->RefuseSettings(true);
    EXPECT_EQ(port->ops.UseXonXoff(port, true), -1);
    EXPECT_EQ(port->status, -1);
    port->ops.ClearStatus(port);
    EXPECT_EQ(port->ops.SetDtr(port, false), 0);
    EXPECT_EQ(port->status, 0);
}

TEST_F(SerialDriverSim, ModemStatusReportsTheInputLines) {
    Open();
    EXPECT_EQ(port->ops.ModemStatus(port), 0);
    dev->SetCts(true);
    EXPECT_EQ(port->ops.ModemStatus(port), 0x10);
    dev->SetDsr(true);
    dev->SetRi(true);
    dev->SetCd(true);
    EXPECT_EQ(port->ops.ModemStatus(port), 0xF0);
    dev->SetCts(false);
    dev->SetRi(false);
    EXPECT_EQ(port->ops.ModemStatus(port), 0xA0);
}

TEST_F(SerialDriverSim, SendBreakLastsItsMillisecondsOnTheTickSource) {
    Open();
    plat::FakeTickSource ticks;
    plat::ScopedTickSource scoped(ticks);
    int idleCalls = 0;
    {
        ScopedIdleHook idle([&] {
            ++idleCalls;
            return 0;
        });
        EXPECT_EQ(port->ops.SendBreak(port, 250), 0);
        EXPECT_EQ(peer->breakOff - peer->breakOn, 250u);
        EXPECT_GT(idleCalls, 0);
        EXPECT_FALSE(dev->Break());
        EXPECT_EQ(dev->BreakCount(), 1u);
    }

    // A negative hook result ends the break at once.
    ScopedIdleHook idle([] { return -1; });
    EXPECT_EQ(port->ops.SendBreak(port, 250), 0);
    EXPECT_EQ(peer->breakOff - peer->breakOn, 0u);
    EXPECT_FALSE(dev->Break());
}

TEST_F(SerialDriverSim, LineErrorsAccumulateUntilCleared) {
    Open();
    dev->InjectErrors(plat::CE_FRAME);
    EXPECT_EQ(port->ops.RxUsed(port), 0);  // a query keeps the errors
    dev->InjectErrors(plat::CE_OVERRUN | plat::CE_MODE);
    EXPECT_EQ(port->ops.LineStatus(port), 0x08 | 0x02);
    dev->InjectErrors(plat::CE_BREAK | plat::CE_RXPARITY);
    EXPECT_EQ(port->ops.LineStatus(port), 0x1E);
    EXPECT_EQ(port->status, 0) << "line errors never fail an operation";
    EXPECT_EQ(port->ops.ClearLineStatus(port), 0);
    EXPECT_EQ(port->ops.LineStatus(port), 0);
}

TEST_F(SerialDriverSim, DumpWritesTenLines) {
    Open(115200, 'N', 8, 1);
    dev->SetCts(true);
    dev->SetCd(true);
    dev->DeliverToHost("abc");
    dev->InjectErrors(plat::CE_FRAME | plat::CE_RXOVER | plat::CE_MODE);
    std::vector<std::string> lines;
    EXPECT_EQ(port->ops.Dump(port, [&](const std::string& l) { lines.push_back(l); }), 0);
    const std::vector<std::string> expected = {
        "",
        "Port type:  MS Windows  DCB BaudRate: 57601   ByteSize: 8  Parity: 0",
        "StopBits: 0 fBinary: 1  fRtsControl: 1",
        "Parity: 0  OutCtsFlow: 0  OutDsrFlow: 0  DtrControl: 1  OutX: 0  InX: 0",
        "Null: 0  DtrControl: 1  RtsControl: 1  XonChar: 11  XoffChar: 13",
        "XonLim: 262   XoffLim: 262   EofChr: 00  EvtChr: 00",
        "RX count/free:     3/1047   TX count/free:     0/1050   BREAK/FE/OE/PE: 0100",
        "CE_BREAK:0  CE_FRAME:1  CE_MODE:1 CE_OVERRUN:0",
        "CE_RXOVER:1 CE_RXPARITY:0 CE_TXFULL:0  CTS/DSR/RI/CD: 1001",
        "8250:0000",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(SerialDriverSim, WriteBufferStopsAtTheQueueSize) {
    Open();
    dev->HoldTransmit(true);  // nothing leaves: the queue fills
    std::vector<uint8_t> data(1000, 'x');
    EXPECT_EQ(port->ops.WriteBuffer(port, data.data(), 1000), 0);
    EXPECT_EQ(port->count, 1000);
    EXPECT_EQ(port->ops.TxUsed(port), 1000);
    EXPECT_EQ(port->ops.TxFree(port), 50);
    EXPECT_EQ(port->ops.WriteBuffer(port, data.data(), 100), -9);
    EXPECT_EQ(port->count, 50);
    EXPECT_EQ(port->status, -9);
    EXPECT_EQ(port->ops.WriteChar(port, 'y'), -9);
    EXPECT_EQ(port->count, 0);
    // ClearTx throws the queue away; nothing of it reaches the wire.
    EXPECT_EQ(port->ops.ClearTx(port), 0);
    EXPECT_EQ(port->ops.TxUsed(port), 0);
    dev->HoldTransmit(false);
    EXPECT_TRUE(peer->written.empty());
    EXPECT_EQ(port->ops.WriteChar(port, 'z'), 0);
    EXPECT_EQ(peer->written, std::vector<uint8_t>{'z'});
}

TEST_F(SerialDriverSim, ReadCharAndRxCounts) {
    Open();
    EXPECT_EQ(port->ops.ReadChar(port), -8);
    EXPECT_EQ(port->status, 0) << "an empty queue is not recorded";
    dev->DeliverToHost(std::vector<uint8_t>{0xFF, 0x00, 'A'});
    EXPECT_EQ(port->ops.RxUsed(port), 3);
    EXPECT_EQ(port->ops.RxFree(port), 1047);
    EXPECT_EQ(port->ops.ReadChar(port), 0xFF);
    EXPECT_EQ(port->ops.ReadChar(port), 0x00);
    EXPECT_EQ(port->ops.ReadChar(port), 'A');
    EXPECT_EQ(port->ops.ReadChar(port), -8);
    EXPECT_EQ(port->ops.PeekChar(port), -24);
}

TEST_F(SerialDriverSim, BadBufferArgumentsAreRefused) {
    Open();
    uint8_t b[2];
    EXPECT_EQ(port->ops.WriteBuffer(port, nullptr, 5), -7);
    EXPECT_EQ(port->ops.ReadBuffer(port, nullptr, 5), -7);
    EXPECT_EQ(port->ops.ReadBuffer(port, b, -1), -7);
    EXPECT_EQ(port->count, 0);
}

TEST_F(SerialDriverSim, VanishedDeviceIsReportedNotShownAsEmpty) {
    Open();
    dev->Vanish();
    uint8_t b[8];
    EXPECT_EQ(port->ops.ReadBuffer(port, b, 8), -1);
    EXPECT_EQ(port->count, 0);
    EXPECT_EQ(port->ops.WriteBuffer(port, b, 8), -1);
    EXPECT_EQ(port->ops.RxUsed(port), -1);
    EXPECT_EQ(port->status, -1);
}

TEST_F(SerialDriverSim, CloseDropsTheLinesAndFreesTheDevice) {
    Open();
    const int listed = OpenPortCount();
    EXPECT_TRUE(dev->IsOpen());
    EXPECT_EQ(port->ops.Close(port), 0);
    port = nullptr;
    EXPECT_FALSE(dev->IsOpen());
    EXPECT_FALSE(dev->Dtr());
    EXPECT_FALSE(dev->Rts());
    EXPECT_EQ(OpenPortCount(), listed - 1);
}

TEST_F(SerialDriverSim, QueueSizesComeFromTheDefaults) {
    SetDefaultQueueSizes(4000, 300);
    Open();
    EXPECT_EQ(SerialRecord(port)->rxQueueSize, 4000u);
    EXPECT_EQ(SerialRecord(port)->txQueueSize, 300u);
    EXPECT_EQ(dev->Settings().XonLim, 1000);
    EXPECT_EQ(port->ops.TxFree(port), 300);
    SetDefaultQueueSizes(1050, 1050);
}

TEST_F(SerialDriverSim, OpenFailuresKeepTheDefaultTable) {
    // In use: the device is already open elsewhere.
    Open();
    PortObject* second = OpenWin32Port(kCom - 1, 9600, 'N', 8, 1);
    EXPECT_EQ(second->status, -3);
    EXPECT_EQ(second->ops.ReadChar(second), -24);
    EXPECT_EQ(second->ops.Close(second), 0);
    // Missing: a COM number nobody mapped.
    plat::DeviceMap::Remove(40);
    PortObject* missing = OpenWin32Port(39, 9600, 'N', 8, 1);
    EXPECT_EQ(missing->status, -14);
    EXPECT_EQ(missing->type, 15);
    EXPECT_EQ(missing->ops.Close(missing), 0);
}

}  // namespace
}  // namespace tolvan
