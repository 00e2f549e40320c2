// The modem channel document on a real pty with the simulated modem behind it: its
// dispatch table as a client sees it, the modem commands through Invoke, the write lock
// of another channel, and its .mcf file.
#include <gtest/gtest.h>

#include <filesystem>

#include "channels/doc_modem.h"
#include "automation/contract/modem_members.h"
#include "framework/byte_stream.h"
#include "platform/sim_modem.h"
#include "platform/ticks.h"
#include "tests/support/archive_bytes.h"
#include "tests/support/mapped_port.h"
#include "tests/support/modem_sim_pty.h"
#include "tests/support/pty_pair.h"

namespace tolvan {
namespace {

constexpr std::int16_t kCom = 2;

class ModemChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(port.Map(kCom, pty.slavePath(), locks.path()), 1);
        ASSERT_EQ(doc.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    }
    void TearDown() override {
        EXPECT_TRUE(runner.Healthy());
        runner.Stop();
        doc.CloseConnection();
    }

    tfw::DispatchStatus Call(std::int32_t id, std::vector<tfw::Variant> args, tfw::Variant& result,
                             std::uint16_t flags = tfw::kDispatchMethod) {
        return tfw::Invoke(doc, id, flags, args, result);
    }

    plat::FakeTickSource ticks{1000, std::chrono::microseconds(300)};
    plat::ScopedTickSource useTicks{ticks};
    test::ScratchDir locks;
    test::PtyPair pty;
    plat::HayesModemSim sim;
    test::ModemSimPtyRunner runner{pty.master(), sim};
    test::MappedPort port;
    CDocModem doc;
};

TEST_F(ModemChannelTest, TableHasItsOwnFourteenThenThePlainChannels) {
    const tfw::DispatchClass& cls = CDocModem::ModemDispatchClass();
    EXPECT_EQ(cls.CheckBindings(), "");
    EXPECT_EQ(cls.InterfaceName(), "DaRi32.Document");
    EXPECT_EQ(cls.GetIDOfName("lpszResponse"), 1);
    EXPECT_EQ(cls.GetIDOfName("setreplymode"), 14);
    EXPECT_EQ(cls.GetIDOfName("ConnectToPort"), 0x10003);
    EXPECT_EQ(cls.GetIDOfName("AbortXfert"), 0x10024);
    EXPECT_EQ(cls.AllMembers().size(), 14u + 36u);

    // ConnectToPort at 0x10003 behaves as on a plain channel: moving to a missing port.
    tfw::Variant r;
    ASSERT_EQ(Call(0x10003,
                   {tfw::Variant::I2(7), tfw::Variant::I4(9600), tfw::Variant::I2('N'),
                    tfw::Variant::I2(8), tfw::Variant::I2(1)},
                   r),
              tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), -2);
    EXPECT_TRUE(doc.IsConnected()) << "a failed connect leaves the channel where it was";
}

TEST_F(ModemChannelTest, ClientDrivesTheModemThroughInvoke) {
    tfw::Variant r;
    ASSERT_EQ(Call(kDispNCommandMode, {tfw::Variant::I2(2)}, r, tfw::kDispatchPropertyPut),
              tfw::DispatchStatus::Ok);
    ASSERT_EQ(Call(kDispLpszResponse, {}, r, tfw::kDispatchPropertyGet), tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsString(), "OK");

    ASSERT_EQ(Call(kDispDoCommand, {tfw::Variant::String("AT\r")}, r), tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), 0);
    ASSERT_EQ(Call(kDispSetRegister, {tfw::Variant::I2(7), tfw::Variant::I2(30)}, r),
              tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), 0);
    ASSERT_EQ(Call(kDispGetRegister, {tfw::Variant::I2(7)}, r), tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), 30);

    // A client's true is on, whatever number its language uses for it.
    ASSERT_EQ(Call(kDispSetEcho, {tfw::Variant::Bool(true)}, r), tfw::DispatchStatus::Ok);
    EXPECT_TRUE(sim.Echo());
    ASSERT_EQ(Call(kDispSetEcho, {tfw::Variant::Bool(false)}, r), tfw::DispatchStatus::Ok);
    EXPECT_FALSE(sim.Echo());
    ASSERT_EQ(Call(kDispSetLoud, {tfw::Variant::I2(3)}, r), tfw::DispatchStatus::Ok);
    EXPECT_EQ(sim.Loudness(), 3);

    sim.SetDialAnswer(plat::SimDialAnswer::NoCarrier);
    ASSERT_EQ(Call(kDispSetPulseDial, {tfw::Variant::Bool(true)}, r), tfw::DispatchStatus::Ok);
    doc.Settings().strDialSuffix = ";";
    ASSERT_EQ(Call(kDispDial, {tfw::Variant::String("1234")}, r), tfw::DispatchStatus::Ok);
    EXPECT_EQ(r.AsI2(), 0);
    ASSERT_TRUE(plat::WaitFor([&] { return !sim.LastDialed().empty(); }, 5000));
    EXPECT_EQ(sim.LastDialed(), "P1234");
    EXPECT_EQ(sim.CommandLines().back(), "DP1234;") << "prefix, P, number, suffix";
}

TEST_F(ModemChannelTest, AnotherChannelsLockRefusesAndSendsNothing) {
    CDocComm other;
    ASSERT_EQ(other.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    other.LockPort();
    const auto linesBefore = sim.CommandLines().size();
    EXPECT_EQ(doc.DoCommand("ATE0\r"), -74);
    EXPECT_EQ(doc.Dial("1"), -74);
    EXPECT_EQ(doc.GetRegister(7), -74);
    other.UnlockPort();
    doc.Mode().nWorkMode = 2;
    EXPECT_EQ(doc.DoCommand("ATL3\r"), 0) << "free again once the lock is let go";
    EXPECT_EQ(sim.CommandLines().size(), linesBefore + 1);
    EXPECT_EQ(sim.Loudness(), 3);
    other.CloseConnection();
}

TEST_F(ModemChannelTest, FileKeepsSettingsAndResetsTheModeRecord) {
    doc.Settings().strDialPrefix = "ATX3D";
    doc.Settings().strInit = "ATZ";
    doc.Settings().chDelay = 'W';
    doc.Settings().nMaxRedials = 9;
    doc.Mode().nWorkMode = 2;
    const std::vector<std::uint8_t> bytes =
        test::StoredBytes([&](tfw::CArchive& ar) { doc.Serialize(ar); });
    // Port 2, 9600, N, 8, 1, then the modem fields.
    ASSERT_GE(bytes.size(), 11u + 1);
    EXPECT_EQ(bytes[0], kCom);
    EXPECT_EQ(bytes[6], 'N');
    EXPECT_EQ(bytes[11], 'W');

    doc.Settings() = ModemChannelSettings{};
    doc.CloseConnection();
    EXPECT_TRUE(test::LoadBytes(bytes, [&](tfw::CArchive& ar) { doc.Serialize(ar); }));
    EXPECT_TRUE(doc.IsConnected()) << "loading connects with the stored line settings";
    EXPECT_EQ(doc.Settings().strDialPrefix, "ATX3D");
    EXPECT_EQ(doc.Settings().strInit, "ATZ");
    EXPECT_EQ(doc.Settings().chDelay, 'W');
    EXPECT_EQ(doc.Settings().nMaxRedials, 9);
    EXPECT_EQ(doc.Mode().nWorkMode, 0) << "the mode record is not stored";
}

}  // namespace
}  // namespace tolvan
