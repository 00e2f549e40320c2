// The infra-red channel on a real pty with the transceiver simulator behind it: connecting
// through the link whatever baud rate was asked, data across the link and back, its
// empty own table over the plain channel's members, and its .icf file.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "channels/doc_ir.h"
#include "framework/byte_stream.h"
#include "platform/message_box.h"
#include "platform/ticks.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/mapped_port.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

constexpr std::int16_t kCom = 3;

class IRChannelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(port.Map(kCom, pty.slavePath(), locks.path()), 1); }
    void TearDown() override {
        doc.CloseConnection();
        EXPECT_TRUE(runner.Healthy());
        runner.Stop();
    }

    // The link waits on the device with a short real pause, so the simulator gets to answer.
    plat::FakeTickSource ticks{1000, std::chrono::microseconds(2000)};
    plat::ScopedTickSource useTicks{ticks};
    test::ScratchDir locks;
    test::PtyPair pty;
    test::IrTransceiverSim sim{test::IrSimOptions{.echo = true}};
    test::IrSimPtyRunner runner{pty.master(), sim};
    test::MappedPort port;
    CDocIR doc;
};

TEST_F(IRChannelTest, ConnectsThroughTheLinkAndCarriesData) {
    EXPECT_EQ(doc.IRParity(), 1);
    ASSERT_EQ(doc.ConnectIR(kCom, 9600, doc.IRParity()), 0);
    std::int32_t baud = 0;
    std::int16_t parity = 0, word = 0, stop = 0;
    ASSERT_TRUE(doc.GetPortSettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 115200);
    EXPECT_EQ(parity, 'N');
    EXPECT_EQ(word, 8);
    EXPECT_EQ(stop, 1);
    bool dtr = true, rts = true, xon = true;
    ASSERT_TRUE(doc.GetFlowControl(dtr, rts, xon));
    EXPECT_FALSE(dtr || rts || xon);
    // The simulator takes the speed command's last byte on its own thread.
    plat::WaitFor([&] { return sim.CurrentPhase() == test::IrTransceiverSim::Phase::Link; }, 5000);
    EXPECT_EQ(sim.CurrentPhase(), test::IrTransceiverSim::Phase::Link);

    std::vector<std::uint8_t> out{'p', 'i', 'n', 'g'};
    ASSERT_EQ(doc.WriteToPort(out, 4), 4);
    std::vector<std::uint8_t> in(16);
    std::string got;
    ASSERT_TRUE(plat::WaitFor(
        [&] {
            port.registry.IdleService();
            const std::int16_t n = doc.ReadFromPort(in, 16);
            if (n > 0) got.append(in.begin(), in.begin() + n);
            return got.size() >= 4;
        },
        60000));
    EXPECT_EQ(got, "ping") << "the transceiver echoed the data back across the link";
    const std::vector<std::uint8_t> ping{'p', 'i', 'n', 'g'};
    EXPECT_EQ(sim.Received(), ping);
}

// The link reads its device in the idle service (the window's timer), not in a read of the
// port: a timed read that sleeps learns of the decoded bytes from there.
TEST_F(IRChannelTest, TimedReadWakesWhenTheIdleServiceDecodesBytes) {
    ASSERT_EQ(doc.ConnectIR(kCom, 9600, doc.IRParity()), 0);
    plat::WaitFor([&] { return sim.CurrentPhase() == test::IrTransceiverSim::Phase::Link; }, 5000);
    ASSERT_EQ(sim.CurrentPhase(), test::IrTransceiverSim::Phase::Link);
    std::atomic<bool> stop{false};
    std::thread window([&] {
        while (!stop) {
            port.registry.IdleService();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<std::uint8_t> out{'p', 'o', 'n', 'g'};
    ASSERT_EQ(doc.WriteToPort(out, 4), 4);
    std::vector<std::uint8_t> in(4);
    const std::uint32_t start = ticks.Now();
    EXPECT_EQ(doc.ReadFromPortTimed(in, 4, 5000), 4);
    EXPECT_LT(ticks.Now() - start, 5000u) << "the read slept through the bytes";
    stop = true;
    window.join();
    EXPECT_EQ(in, out);
}

TEST_F(IRChannelTest, FileStoresTheLinksLineSettingsThenTheParity) {
    ASSERT_EQ(doc.ConnectIR(kCom, 9600, 0), 0);
    doc.SetIRParity(0);
    const auto bytes = test::StoredBytes([&](tfw::CArchive& ar) { doc.Serialize(ar); });
    const std::vector<std::uint8_t> want{kCom, 0, 0x00, 0xC2, 0x01, 0x00, 'N', 8,
                                         0,    1, 0,    0,    0,    0,    0};
    EXPECT_EQ(bytes, want) << "port, 115200, N, 8, 1, then nIRParity 0 as 32 bits";

    doc.CloseConnection();
    CDocIR loaded;
    EXPECT_TRUE(test::LoadBytes(bytes, [&](tfw::CArchive& ar) { loaded.Serialize(ar); }));
    EXPECT_EQ(loaded.IRParity(), 0);
    loaded.CloseConnection();
}

TEST_F(IRChannelTest, SettingsChangeKeepsParityOnlyWhenAccepted) {
    EXPECT_EQ(doc.SetIRParam(9600, 0), -6) << "not connected";
    EXPECT_EQ(doc.IRParity(), 1);
}

TEST(IRChannelTable, InheritsThePlainChannelsMembersOnly) {
    const tfw::DispatchClass& cls = CDocIR::IRDispatchClass();
    EXPECT_EQ(cls.CheckBindings(), "");
    EXPECT_EQ(cls.InterfaceName(), "ViDA.Document");
    EXPECT_TRUE(cls.Table().empty());
    EXPECT_EQ(cls.GetIDOfName("ConnectToPort"), 0x10003);
    EXPECT_EQ(cls.GetIDOfName("AbortXfert"), 0x10024);
    EXPECT_FALSE(cls.GetIDOfName("DoCommand").has_value());
    EXPECT_EQ(cls.AllMembers().size(), 36u);
}

}  // namespace
}  // namespace tolvan
