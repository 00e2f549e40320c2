// The modem channel's menu on a real pty: the modem commands' texts and enabling, the
// write lock, files sent in pieces of 80 bytes, and the modem setup sheet with S8 and S7
// read from and written to the simulated modem, and the modem-mode sheet's set-up.
#include "app/command_ids.h"
#include "app/dlg_command.h"
#include "app/dlg_select_files.h"
#include "app/modem_commands.h"
#include "channels/doc_modem.h"
#include "platform/message_box.h"
#include "platform/sim_modem.h"
#include "platform/ticks.h"
#include "setup/records/comm_param.h"
#include "setup/property_sheet.h"
#include "setup/ps_modem_setting.h"
#include "tests/app/channel_menu_fixture.h"
#include "tests/support/modem_sim_pty.h"
#include "tests/support/pty_pair.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tolvan::app {
namespace {

// A clock that notes, whenever the code under test pauses, what the far end has received
// since the last pause; so the pieces between the pauses can be told apart.
class PieceClock final : public plat::TickSource {
public:
    explicit PieceClock(test::PtyPair& pty) : pty_(pty) {}
    std::uint32_t Now() override { return now_; }
    bool Pause(std::uint32_t ms, int, short) override {
        pieces.emplace_back(ms, pty_.ReadAvailable(20).size());
        now_ += ms;
        return false;
    }
    std::vector<std::pair<std::uint32_t, std::size_t>> pieces;  // (pause, bytes before it)

private:
    test::PtyPair& pty_;
    std::uint32_t now_ = 0;
};

class ModemMenuTest : public ChannelMenuTest {
protected:
    ModemMenuTest() { answer = plat::IDOK; }
    void TearDown() override {
        modem.CloseConnection();
        other.CloseConnection();
        ChannelMenuTest::TearDown();
    }
    bool Enabled(int id) { return ChannelMenuTest::Enabled(menu, id); }

    CDocModem modem;
    CDocComm other;
    ModemChannelCommands menu{modem, {}};
};

const int kModemIds[] = {cmd::ModemSettings, cmd::ModemInit,   cmd::ModemHangUp,  cmd::ModemCommand,
                         cmd::ModemDial,     cmd::ModemRepeat, cmd::TransmitFiles};

TEST_F(ModemMenuTest, CommandsSendTheirTextsWhileConnectedAndNotPastAnotherLock) {
    for (int id : kModemIds) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(cmd::Connect)) << "the plain channel's commands are there too";
    ASSERT_EQ(modem.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    for (int id : kModemIds) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(cmd::Connect));

    modem.Settings().strInit = "ATZ&F";
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemInit));
    EXPECT_EQ(FarEndGot(), "ATZ&F\r");
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemHangUp));
    EXPECT_EQ(FarEndGot(), "ATH0\r");
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemRepeat));
    EXPECT_EQ(FarEndGot(), "A/") << "no carriage return";
    WhenModal<CDlgCommand> type([](CDlgCommand& dlg) {
        Control<QLineEdit>(dlg, CDlgCommand::IDC_COMMAND)->setText("ATI4");
        Control<QPushButton>(dlg, 1)->click();
    });
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemCommand));
    EXPECT_TRUE(type.ran);
    EXPECT_EQ(FarEndGot(), "ATI4\r");

    ASSERT_EQ(other.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    other.LockPort();
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemInit));
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemRepeat));
    EXPECT_EQ(FarEndGot(), "") << "modem commands keep to the write lock";
    EXPECT_TRUE(messages.empty()) << "and show nothing";
}

TEST_F(ModemMenuTest, SendFilesPutsTheChosenFileOnTheLineInPiecesOfEighty) {
    ASSERT_EQ(modem.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    modem.Mode().nInternalTimeout = 250;
    const std::string path = locks.path() + "/data.bin";
    std::string content;
    for (int i = 0; i < 200; ++i) content += static_cast<char>('a' + i % 26);
    std::ofstream(path, std::ios::binary) << content;

    WhenModal<CDlgSelectFiles> choose([&](CDlgSelectFiles& dlg) {
        EXPECT_TRUE(dlg.AddChosenPath(QString::fromStdString(path)));
        Control<QPushButton>(dlg, 1)->click();
    });
    PieceClock clock(pty);
    {
        plat::ScopedTickSource use(clock);
        EXPECT_TRUE(menu.ExecuteCommand(cmd::TransmitFiles));
    }
    ASSERT_TRUE(choose.ran);
    using P = std::pair<std::uint32_t, std::size_t>;
    EXPECT_EQ(clock.pieces, (std::vector<P>{{250, 80}, {250, 80}, {250, 40}}));
}

class ModemSimMenuTest : public ModemMenuTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(runner.Healthy());
        runner.Stop();
        ModemMenuTest::TearDown();
    }
    bool Executed(const std::string& line) const {
        const auto lines = sim.CommandLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    plat::HayesModemSim sim;
    test::ModemSimPtyRunner runner{pty.master(), sim};
};

TEST_F(ModemSimMenuTest, SetupSheetReadsTheRegistersAtOpenAndWritesThemBack) {
    // Not connected: the reads fail at once and the page shows 2 and 30.
    WhenModal<kerdal::PropertySheet> connect([](kerdal::PropertySheet& sheet) {
        ASSERT_EQ(sheet.GetPageCount(), 3);
        auto* page = dynamic_cast<CPSModemSetting*>(sheet.GetPage(2));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->m_nDelayTime, kDefaultDelayTime);
        EXPECT_EQ(page->m_nConnectTime, kDefaultConnectTime);
        EXPECT_EQ(page->m_strInit, QStringLiteral("AT&F1"));
        EXPECT_EQ(page->m_strDelay, QStringLiteral(","));
        sheet.PressOk();
    });
    EXPECT_TRUE(menu.ExecuteCommand(cmd::Connect));
    ASSERT_TRUE(connect.ran);
    ASSERT_TRUE(modem.IsConnected());
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(plat::WaitFor([&] { return Executed("Y1"); }, 5000)) << "DTR low does not hang up";
    EXPECT_EQ(sim.Register(8), 2);
    EXPECT_EQ(sim.Register(7), 30);

    // Connected: the sheet shows what the modem holds, and what the user types goes back.
    ASSERT_EQ(modem.SetRegister(7, 45), 0);
    ASSERT_EQ(modem.SetRegister(8, 3), 0);
    WhenModal<kerdal::PropertySheet> edit([](kerdal::PropertySheet& sheet) {
        ASSERT_EQ(sheet.GetPageCount(), 2);
        auto* page = dynamic_cast<CPSModemSetting*>(sheet.GetPage(1));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->m_nConnectTime, 45u);
        EXPECT_EQ(page->m_nDelayTime, 3u);
        ASSERT_TRUE(sheet.SetActivePage(page));
        Control<QLineEdit>(*page, CPSModemSetting::IDC_INIT)->setText("ATZ");
        Control<QLineEdit>(*page, CPSModemSetting::IDC_DIAL_SUFFIX)->setText(";");
        Control<QLineEdit>(*page, CPSModemSetting::IDC_DELAY_CHAR)->setText("!");
        Control<QLineEdit>(*page, CPSModemSetting::IDC_DELAY_TIME)->setText("5");
        Control<QLineEdit>(*page, CPSModemSetting::IDC_CONNECT_TIME)->setText("60");
        Control<QCheckBox>(*page, CPSModemSetting::IDC_DTR_HANG_UP)->setChecked(true);
        sheet.PressOk();
    });
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ChannelSettings));
    ASSERT_TRUE(edit.ran);
    ASSERT_TRUE(plat::WaitFor([&] { return Executed("Y0"); }, 5000));
    EXPECT_EQ(sim.Register(8), 5);
    EXPECT_EQ(sim.Register(7), 60);
    EXPECT_EQ(modem.Settings().strInit, "ATZ");
    EXPECT_EQ(modem.Settings().strDialSuffix, ";");
    EXPECT_EQ(modem.Settings().chDelay, '!');
    EXPECT_EQ(modem.Settings().bDtrHangUp, 1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModemSimMenuTest, ModemSettingsSheetSetsTheModemUpOnOkOnly) {
    ASSERT_EQ(modem.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    WhenModal<kerdal::PropertySheet> cancel([](kerdal::PropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Modem Settings"));
        sheet.PressCancel();
    });
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemSettings));
    ASSERT_TRUE(cancel.ran);
    EXPECT_TRUE(sim.CommandLines().empty());

    modem.Mode().nLoud = 3;
    modem.Mode().bEcho = 1;
    WhenModal<kerdal::PropertySheet> accept([](kerdal::PropertySheet& sheet) { sheet.PressOk(); });
    EXPECT_TRUE(menu.ExecuteCommand(cmd::ModemSettings));
    ASSERT_TRUE(accept.ran);
    ASSERT_TRUE(plat::WaitFor([&] { return Executed("E1"); }, 5000));
    EXPECT_EQ(sim.CommandLines(), (std::vector<std::string>{"M2", "L3", "Q0", "V1", "E1"}));
}

}  // namespace
}  // namespace tolvan::app
