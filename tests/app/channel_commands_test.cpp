// The channel menu on real channels and ptys, driven through the real dialogs and sheets:
// enable rules for a held, locked or unconnected channel, the questions, Send string past
// another channel's lock, the setup sheet on a busy port and after a connect, buffer sizes
// beyond 16 bits, XMODEM reception from sx started from the menu, the infra-red channel's
// sheet through the transceiver simulator, and the commands as the server's window routes
// them.
#include "app/channel_commands.h"
#include "app/command_line.h"
#include "app/command_ids.h"
#include "app/dlg_read_bytes.h"
#include "app/dlg_send_string.h"
#include "app/frame_main.h"
#include "app/ir_commands.h"
#include "app/mdi_frame_splitter.h"
#include "app/pp_buffer_size.h"
#include "app/tolvan_app.h"
#include "automation/channel_host.h"
#include "channels/doc_comm.h"
#include "channels/doc_ir.h"
#include "channels/file_transfer.h"
#include "framework/doc_manager.h"
#include "platform/device_map.h"
#include "platform/message_box.h"
#include "platform/serial_api.h"
#include "platform/ticks.h"
#include "ports/port_registry.h"
#include "ports/shared_port.h"
#include "setup/records/comm_param.h"
#include "setup/property_sheet.h"
#include "setup/ps_ir_settings.h"
#include "setup/ps_select_port.h"
#include "setup/ps_settings_port.h"
#include "tests/app/channel_menu_fixture.h"
#include "tests/support/ir_transceiver_sim.h"
#include "tests/support/pty_pair.h"
#include "tests/support/xmodem_progress_recorder.h"
#include "tests/support/xmodem_sender.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <functional>
#include <string>
#include <vector>

namespace tolvan::app {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Another program holds the device: a child process keeps an exclusive flock on it.
class DeviceHolder {
public:
    explicit DeviceHolder(const std::string& path) {
        int ready[2], hold[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(hold), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(hold[1]);
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? '1' : '0';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(hold[0], &c, 1);  // until the test lets go
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(hold[0]);
        release_ = hold[1];
        char ok = 0;
        EXPECT_EQ(::read(ready[0], &ok, 1), 1);
        EXPECT_EQ(ok, '1') << "the holder got the device";
        ::close(ready[0]);
    }
    ~DeviceHolder() {
        ::close(release_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
};

class ChannelCommandsTest : public ChannelMenuTest {
protected:
    void TearDown() override {
        a.CloseConnection();
        b.CloseConnection();
        ChannelMenuTest::TearDown();
    }

    ChannelCommandContext Context() {
        ChannelCommandContext context;
        context.hideChannel = [this](CDocComm& doc) { hidden.push_back(&doc); };
        return context;
    }
    static bool Holds(CDocComm& doc, std::int32_t n) {
        return plat::WaitFor([&] { return doc.SpaceUsedInRXBuffer() >= n; }, 5000);
    }
    // Send string through its dialog as the user fills it.
    Bytes SendThroughMenu(ChannelCommands& target, bool addLF, bool addCR) {
        WhenModal<CDlgSendString> fill([&](CDlgSendString& dlg) {
            Control<QLineEdit>(dlg, CDlgSendString::IDC_STRING)->setText("AT");
            Control<QCheckBox>(dlg, CDlgSendString::IDC_ADD_LF)->setChecked(addLF);
            Control<QCheckBox>(dlg, CDlgSendString::IDC_ADD_CR)->setChecked(addCR);
            Control<QPushButton>(dlg, 1)->click();
        });
        EXPECT_TRUE(target.ExecuteCommand(cmd::TransmitString));
        EXPECT_TRUE(fill.ran);
        return pty.ReadAvailable(100);
    }

    CDocComm a;
    CDocComm b;
    std::vector<CDocComm*> hidden;
    ChannelCommands menuA{a, Context()};
    ChannelCommands menuB{b, Context()};
};

TEST_F(ChannelCommandsTest, EnableRulesFollowConnectionClientsAndTheLock) {
    const std::vector<int> needConnection = {
        cmd::ChannelSettings, cmd::TransmitString, cmd::BufferSettings, cmd::CloseConnection,
        cmd::ClearReceive,    cmd::ClearTransmit,  cmd::ReceiveBytes,   cmd::ReceiveString,
        cmd::LockPort,        cmd::UnlockPort,     cmd::ReceiveXModem};
    EXPECT_TRUE(Enabled(menuA, cmd::Connect));
    EXPECT_TRUE(Enabled(menuA, cmd::DefaultBufferSize));
    EXPECT_FALSE(Enabled(menuA, cmd::HideWindow));
    for (int id : needConnection) EXPECT_FALSE(Enabled(menuA, id)) << id;
    CommandState ignored;
    EXPECT_FALSE(menuA.UpdateCommand(cmd::ModemDial, ignored)) << "not a plain channel's";

    ASSERT_EQ(a.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(b.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    EXPECT_FALSE(Enabled(menuA, cmd::Connect));
    for (int id : needConnection)
        EXPECT_EQ(Enabled(menuA, id), id != cmd::UnlockPort) << id << ": nobody owns the lock";

    // A client holds the channel: reading and clearing would take its bytes, so they go;
    // Hide comes.
    a.ExternalAddRef();
    for (int id : {cmd::ClearReceive, cmd::ClearTransmit, cmd::ReceiveBytes, cmd::ReceiveString,
                   cmd::ReceiveXModem})
        EXPECT_FALSE(Enabled(menuA, id)) << id;
    for (int id :
         {cmd::HideWindow, cmd::TransmitString, cmd::ChannelSettings, cmd::CloseConnection})
        EXPECT_TRUE(Enabled(menuA, id)) << id;
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::HideWindow));
    EXPECT_EQ(hidden, std::vector<CDocComm*>{&a});
    a.ExternalRelease();
    EXPECT_FALSE(Enabled(menuA, cmd::HideWindow));
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::HideWindow));
    EXPECT_EQ(hidden.size(), 1u) << "a disabled command does nothing when run directly";

    // The lock: only its owner may unlock, nobody else may lock.
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::LockPort));
    EXPECT_TRUE(Enabled(menuA, cmd::UnlockPort));
    EXPECT_TRUE(Enabled(menuA, cmd::LockPort)) << "the owner may take another level";
    EXPECT_FALSE(Enabled(menuB, cmd::LockPort));
    EXPECT_FALSE(Enabled(menuB, cmd::UnlockPort));
    EXPECT_TRUE(menuB.ExecuteCommand(cmd::UnlockPort));
    EXPECT_FALSE(Enabled(menuB, cmd::LockPort)) << "b cannot release a's lock";
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::UnlockPort));
    EXPECT_FALSE(Enabled(menuA, cmd::UnlockPort));
    EXPECT_TRUE(Enabled(menuB, cmd::LockPort));
}

TEST_F(ChannelCommandsTest, SendStringPutsTheComposedBytesOnTheLineEvenPastAnotherLock) {
    ASSERT_EQ(a.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(b.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    b.LockPort();
    std::vector<std::uint8_t> probe{'x'};
    ASSERT_EQ(a.WriteToPort(probe, 1), 0) << "a client's write is refused under b's lock";

    EXPECT_EQ(SendThroughMenu(menuA, true, true), (Bytes{0x41, 0x54, 0x0D, 0x0A}));
    EXPECT_EQ(SendThroughMenu(menuA, true, false), (Bytes{0x41, 0x54, 0x0A}));
    EXPECT_EQ(SendThroughMenu(menuA, false, false), (Bytes{0x41, 0x54}));
    EXPECT_EQ(registry.FindPort(kCom)->LockOwner(), static_cast<PortClient*>(&b))
        << "the lock stays where it was";
}

TEST_F(ChannelCommandsTest, ConnectSheetFailsOnABusyPortAndOtherwiseLeavesTheLineAsCurrent) {
    {
        DeviceHolder holder(pty.slavePath());
        WhenModal<kerdal::PropertySheet> accept([](kerdal::PropertySheet& sheet) {
            EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Setup Connection"));
            ASSERT_EQ(sheet.GetPageCount(), 2);
            auto* select = dynamic_cast<CPSSelectPort*>(sheet.GetPage(0));
            ASSERT_NE(select, nullptr);
            EXPECT_EQ(select->m_ctlPortList->currentText(), QStringLiteral("COM2"));
            sheet.PressOk();
        });
        EXPECT_TRUE(menuA.ExecuteCommand(cmd::Connect));
        EXPECT_TRUE(accept.ran);
    }
    EXPECT_EQ(messages, std::vector<std::string>{"Connection failed"});
    EXPECT_EQ(flags_.front() & 0x0F, plat::MB_OK);
    EXPECT_FALSE(a.IsConnected());
    EXPECT_EQ(a.GetTitle().rfind("Not Connected.", 0), 0u) << a.GetTitle();
    EXPECT_TRUE(Enabled(menuA, cmd::Connect));

    // Free again: the library's current choices become what the port really runs.
    WhenModal<kerdal::PropertySheet> choose([](kerdal::PropertySheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        QWidget* page = sheet.GetPage(1);
        QComboBox* baud = Control<QComboBox>(*page, CPSSettingsPort::IDC_BAUD_RATE);
        baud->setCurrentIndex(baud->findText(CPSSettingsPort::BaudRateText(19200)));
        QComboBox* stop = Control<QComboBox>(*page, CPSSettingsPort::IDC_STOP_BITS);
        stop->setCurrentIndex(stop->findText(QStringLiteral("2")));
        Control<QCheckBox>(*page, CPSSettingsPort::IDC_XON_XOFF)->setChecked(true);
        sheet.PressOk();
    });
    messages.clear();
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::Connect));
    ASSERT_TRUE(choose.ran);
    EXPECT_TRUE(messages.empty()) << messages.front();
    ASSERT_TRUE(a.IsConnected());
    std::int32_t baud = 0;
    std::int16_t parity = 0, word = 0, stop = 0;
    ASSERT_TRUE(a.GetPortSettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 19200);
    EXPECT_EQ(stop, 2);
    const AndCommParam& current = *DLLGetCommParam();
    EXPECT_EQ(current.GetBaudRate(current.GetCurBaudRate()), baud);
    EXPECT_EQ(current.GetParity(current.GetCurParity()), parity);
    EXPECT_EQ(current.GetWrdLen(current.GetCurWrdLen()), word);
    EXPECT_EQ(current.GetStopBit(current.GetCurStopBit()), stop);
    bool dtr = true, rts = true, xon = false;
    ASSERT_TRUE(a.GetFlowControl(dtr, rts, xon));
    EXPECT_TRUE(xon);
    EXPECT_FALSE(dtr || rts);

    // The settings sheet starts from those parameters and the channel's handshakes.
    std::unique_ptr<kerdal::PropertySheet> next =
        menuA.CreateSetupSheet(61249, nullptr, kSetupSettings);
    ASSERT_EQ(next->GetPageCount(), 1);
    next->Open();
    auto* settings = dynamic_cast<CPSSettingsPort*>(next->GetPage(0));
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->m_ctlBaudRate->currentText().trimmed(), QStringLiteral("19200"));
    EXPECT_EQ(settings->m_ctlStopBit->currentText(), QStringLiteral("2"));
    EXPECT_TRUE(Control<QCheckBox>(*settings, CPSSettingsPort::IDC_XON_XOFF)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(*settings, CPSSettingsPort::IDC_DTR_DSR)->isChecked());
    next->PressCancel();
}

TEST_F(ChannelCommandsTest, ConnectAt115200KeepsThatRateAsTheLibrarysCurrentOne) {
    WhenModal<kerdal::PropertySheet> choose([](kerdal::PropertySheet& sheet) {
        ASSERT_TRUE(sheet.SetActivePage(1));
        QComboBox* baud = Control<QComboBox>(*sheet.GetPage(1), CPSSettingsPort::IDC_BAUD_RATE);
        baud->setCurrentIndex(baud->findText(CPSSettingsPort::BaudRateText(115200)));
        sheet.PressOk();
    });
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::Connect));
    ASSERT_TRUE(choose.ran);
    ASSERT_TRUE(a.IsConnected());
    std::int32_t baud = 0;
    std::int16_t parity = 0, word = 0, stop = 0;
    ASSERT_TRUE(a.GetPortSettings(baud, parity, word, stop));
    EXPECT_EQ(baud, 57601) << "the driver's own value for 115200";
    const AndCommParam& current = *DLLGetCommParam();
    EXPECT_EQ(current.GetBaudRate(current.GetCurBaudRate()), 115200);
}

TEST_F(ChannelCommandsTest, ClearingAndClosingAskFirstReadingTakesTheBytes) {
    ASSERT_EQ(a.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    ASSERT_TRUE(pty.Write("one\r\ntwo-three"));
    ASSERT_TRUE(Holds(a, 14));

    answer = plat::IDNO;
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::ClearReceive));
    EXPECT_EQ(a.SpaceUsedInRXBuffer(), 14) << "No keeps the bytes";
    ASSERT_EQ(messages, std::vector<std::string>{"Do you really want to clear the buffer?"});
    EXPECT_EQ(flags_.back() & 0x0F, plat::MB_YESNO);

    EXPECT_TRUE(menuA.ExecuteCommand(cmd::ReceiveString));
    EXPECT_EQ(a.SpaceUsedInRXBuffer(), 9) << "one line with its CR LF left";
    WhenModal<CDlgReadBytes> count([](CDlgReadBytes& dlg) {
        Control<QLineEdit>(dlg, CDlgReadBytes::IDC_COUNT)->setText("4");
        Control<QPushButton>(dlg, 1)->click();
    });
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::ReceiveBytes));
    EXPECT_TRUE(count.ran);
    EXPECT_EQ(a.SpaceUsedInRXBuffer(), 5);

    answer = plat::IDYES;
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::ClearReceive));
    EXPECT_EQ(a.SpaceUsedInRXBuffer(), 0);

    answer = plat::IDNO;
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::CloseConnection));
    EXPECT_TRUE(a.IsConnected());
    EXPECT_EQ(messages.back(), "Do you really want to close connection?");
    answer = plat::IDYES;
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::CloseConnection));
    EXPECT_FALSE(a.IsConnected());
    EXPECT_TRUE(Enabled(menuA, cmd::Connect));
}

TEST_F(ChannelCommandsTest, BufferSheetsTakeSizesBeyondSixteenBits) {
    ASSERT_EQ(a.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);
    const std::uint32_t rx = a.ReceiveBuffer()->Size();
    WhenModal<kerdal::PropertySheet> grow([](kerdal::PropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Buffer Settings"));
        Control<QLineEdit>(*sheet.GetPage(0), CPPBufferSize::IDC_OUT_NEW)->setText("40000");
        sheet.PressOk();
    });
    EXPECT_TRUE(menuA.ExecuteCommand(cmd::BufferSettings));
    ASSERT_TRUE(grow.ran);
    EXPECT_EQ(a.TransmitBuffer()->Size(), 40000u) << "not cut to 16 bits";
    EXPECT_EQ(a.ReceiveBuffer()->Size(), rx) << "an untouched page keeps its size";

    WhenModal<kerdal::PropertySheet> defaults([](kerdal::PropertySheet& sheet) {
        auto* input = dynamic_cast<CPPBufferSize*>(sheet.GetPage(1));
        ASSERT_NE(input, nullptr);
        EXPECT_EQ(input->m_nCurrentSize, 1050u);
        EXPECT_EQ(input->m_nMinSize, 0u);
        ASSERT_TRUE(sheet.SetActivePage(1));
        Control<QLineEdit>(*input, CPPBufferSize::IDC_IN_NEW)->setText("70000");
        sheet.PressOk();
    });
    EXPECT_TRUE(menuB.ExecuteCommand(cmd::DefaultBufferSize));
    ASSERT_TRUE(defaults.ran);
    EXPECT_EQ(registry.DefaultSizes().rx, 70000u);
    EXPECT_EQ(registry.DefaultSizes().tx, 1050u);
}

// XMODEM from the menu: the file dialog names the file, sx sends it, the reception holds
// the channel (so its reading commands stay off) until it ends.
TEST(ChannelCommandsXModem, ReceivesWhatSxSendsIntoTheChosenFile) {
    test::TempDir dir;
    test::XModemPty pty;
    test::MappedPort port;
    ASSERT_EQ(port.Map(3, ::ptsname(pty.Master()), dir.Path()), 1);
    auto recorder = std::make_shared<test::XferRecorder>();
    ScopedXferProgressSink sink(recorder);
    const Bytes data = test::PatternBytes(1000, 7);
    const std::string source = dir.File("sent.bin");
    const std::string target = dir.File("got.bin");
    test::WriteFileBytes(source, data);
    {
        CDocComm channel;
        ChannelCommands menu(channel, {});
        ASSERT_EQ(channel.ConnectToPort(3, 115200, 'N', 8, 1), 0);
        WhenModal<QFileDialog> name([&](QFileDialog& dlg) {
            EXPECT_EQ(dlg.objectName(), QString(kXModemFileDialogObjectName));
            dlg.selectFile(QString::fromStdString(target));
            static_cast<QDialog&>(dlg).accept();  // as the Save button does
        });
        EXPECT_TRUE(menu.ExecuteCommand(cmd::ReceiveXModem));
        ASSERT_TRUE(name.ran);
        EXPECT_GT(channel.GetRefCount(), 1u) << "the reception holds the channel";
        CommandState state;
        menu.UpdateCommand(cmd::ReceiveBytes, state);
        EXPECT_FALSE(state.enabled);
        test::SxSender sx(pty, source, false);
        const auto end = recorder->WaitForEnd();
        EXPECT_EQ(sx.Wait(), 0);
        ASSERT_TRUE(end.has_value());
        EXPECT_EQ(*end, 0);
        EXPECT_EQ(recorder->Reports().back().window, 0) << "the main window's value";
        ASSERT_TRUE(WaitForXModemThreads(std::chrono::seconds(60)));
        Bytes got = test::ReadFileBytes(target);
        ASSERT_EQ(got.size(), 1024u) << "kept as received, last block padded";
        EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
        EXPECT_EQ(channel.GetRefCount(), 1u);
        channel.CloseConnection();
    }
}

// The infra-red channel's sheet: port and link rate only; the link runs at 115200, N, 8, 1
// whatever rate was chosen, and that is what the library keeps as current.
TEST(IRChannelCommands, SheetConnectsThroughTheLinkAndKeepsItsLineAsCurrent) {
    const AndCommParam saved = *DLLGetCommParam();
    plat::FakeTickSource ticks{1000, std::chrono::microseconds(2000)};
    plat::ScopedTickSource useTicks{ticks};
    test::ScratchDir locks;
    test::PtyPair pty;
    test::IrTransceiverSim sim{test::IrSimOptions{.echo = true}};
    test::IrSimPtyRunner runner{pty.master(), sim};
    test::MappedPort port;
    ASSERT_EQ(port.Map(3, pty.slavePath(), locks.path()), 1);
    {
        CDocIR channel;
        std::unique_ptr<ChannelCommands> menu(CreateChannelCommands(channel, {}, nullptr));
        ASSERT_NE(dynamic_cast<IRChannelCommands*>(menu.get()), nullptr);
        // A settings sheet that fails says so and keeps the channel's link variant.
        std::vector<std::string> messages;
        std::optional<plat::ScopedMessageBoxHook> boxes(
            std::in_place, [&](const std::string& text, const std::string&, std::uint32_t) {
                messages.push_back(text);
                return plat::IDOK;
            });
        std::unique_ptr<kerdal::PropertySheet> settings =
            menu->CreateSetupSheet(61249, nullptr, kSetupSettings);
        ASSERT_EQ(settings->GetPageCount(), 1);
        auto* rate = dynamic_cast<CPSIRSettings*>(settings->GetPage(0));
        ASSERT_NE(rate, nullptr);
        rate->m_nIRParity = 0;
        EXPECT_EQ(menu->ApplySetupSheet(*settings, kSetupSettings), -6) << "not connected";
        boxes.reset();
        EXPECT_EQ(messages, std::vector<std::string>{"Port setting failed"});
        EXPECT_EQ(channel.IRParity(), 1);

        WhenModal<kerdal::PropertySheet> accept([](kerdal::PropertySheet& sheet) {
            ASSERT_EQ(sheet.GetPageCount(), 2);
            auto* page = dynamic_cast<CPSIRSettings*>(sheet.GetPage(1));
            ASSERT_NE(page, nullptr);
            ASSERT_TRUE(sheet.SetActivePage(page));
            EXPECT_EQ(Control<QComboBox>(*page, CPSIRSettings::IDC_BAUD_RATE)->currentText(),
                      QStringLiteral("9600"));
            EXPECT_EQ(page->m_nIRParity, 1);
            sheet.PressOk();
        });
        EXPECT_TRUE(menu->ExecuteCommand(cmd::Connect));
        ASSERT_TRUE(accept.ran);
        ASSERT_TRUE(channel.IsConnected());
        // The simulator takes the speed command's last byte on its own thread.
        plat::WaitFor([&] { return sim.CurrentPhase() == test::IrTransceiverSim::Phase::Link; },
                      5000);
        EXPECT_EQ(sim.CurrentPhase(), test::IrTransceiverSim::Phase::Link);
        std::int32_t baud = 0;
        std::int16_t parity = 0, word = 0, stop = 0;
        ASSERT_TRUE(channel.GetPortSettings(baud, parity, word, stop));
        EXPECT_EQ(baud, 115200);
        EXPECT_EQ(parity, 'N');
        EXPECT_EQ(word, 8);
        EXPECT_EQ(stop, 1);
        bool dtr = true, rts = true, xon = true;
        ASSERT_TRUE(channel.GetFlowControl(dtr, rts, xon));
        EXPECT_FALSE(dtr || rts || xon);
        const AndCommParam& current = *DLLGetCommParam();
        EXPECT_EQ(current.GetBaudRate(current.GetCurBaudRate()), 115200);
        EXPECT_EQ(current.GetParity(current.GetCurParity()), 'N');

        CommandState state;
        EXPECT_FALSE(menu->UpdateCommand(cmd::ModemInit, state)) << "no modem commands";
        channel.CloseConnection();
    }
    EXPECT_TRUE(runner.Healthy());
    runner.Stop();
    *DLLGetCommParam() = saved;
}

// The server's window: a channel window's menu reaches the channel's commands.
TEST(ChannelWindowCommands, TheWindowRoutesTheMenuToItsChannel) {
    test::ScratchDir dir;
    const std::string profile = dir.path() + "/t.ini";
    std::ofstream(profile) << "[Ports]\nAuto=0\nCOM1=loop://\n";
    plat::SetLockDirectory(dir.path());
    plat::DeviceMap::Clear();
    CAppComm app;
    CommandLine line;
    line.automation = true;
    line.profilePath = profile;
    ASSERT_TRUE(app.InitInstance(line, {{}, false, false}));
    ASSERT_NE(app.CreateChannel(tdbus::ChannelClass::Plain), nullptr);  // a client holds it
    ASSERT_EQ(app.Channels().size(), 1u);
    auto* channel = dynamic_cast<CDocComm*>(app.Channels().front());
    ASSERT_NE(channel, nullptr);
    ASSERT_TRUE(app.ShowChannel(*channel));
    CFrameMain& frame = *app.MainFrame();
    ASSERT_NE(frame.ActiveChildFrame(), nullptr);
    auto enabled = [&](int id) {
        CommandState state;
        EXPECT_TRUE(frame.RouteUpdate(id, state)) << id;
        return state.enabled;
    };
    EXPECT_TRUE(enabled(cmd::Connect));
    EXPECT_FALSE(enabled(cmd::TransmitString));

    WhenModal<kerdal::PropertySheet> accept([](kerdal::PropertySheet& sheet) { sheet.PressOk(); });
    EXPECT_TRUE(frame.RouteCommand(cmd::Connect));
    ASSERT_TRUE(accept.ran);
    // The connect runs on the channel's lane; the window learns when it has ended.
    EXPECT_TRUE(plat::WaitFor(
        [&] {
            QApplication::processEvents();
            return channel->IsConnected() && !enabled(cmd::Connect);
        },
        5000));
    EXPECT_EQ(channel->GetTitle().rfind("COM1:", 0), 0u) << channel->GetTitle();
    EXPECT_FALSE(enabled(cmd::Connect));
    EXPECT_FALSE(enabled(cmd::ClearReceive)) << "held by its client";

    EXPECT_TRUE(enabled(cmd::HideWindow));
    EXPECT_TRUE(frame.RouteCommand(cmd::HideWindow));
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(app.Channels().size(), 1u) << "hidden, not closed";
    app.ExitInstance();
    plat::DeviceMap::Clear();
}

}  // namespace
}  // namespace tolvan::app
