// The server started in the automation mode on the session bus: no window, a client's channel
// without a window, the list of channels, showing and hiding a client's channel, the end
// after the last release, the profile written at exit.
#include "app/comm_doc_template.h"
#include "app/desktop_registration.h"
#include "app/dlg_list_channels.h"
#include "app/frame_main.h"
#include "app/single_instance.h"
#include "app/mdi_frame_splitter.h"
#include "app/tolvan_app.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "framework/doc_manager.h"
#include "framework/document.h"
#include "platform/device_map.h"
#include "qt_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <unistd.h>

#include "app/command_ids.h"
#include "channels/doc_comm.h"

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

// Waits for a reply while the server (same thread) answers it.
QDBusMessage Call(QDBusConnection& bus, const QString& service, const QString& path,
                  const QString& iface, const QString& method, const QVariantList& args = {}) {
    QDBusMessage msg = QDBusMessage::createMethodCall(service, path, iface, method);
    msg.setArguments(args);
    QDBusPendingCall pending = bus.asyncCall(msg, 5000);
    while (!pending.isFinished()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return pending.reply();
}

class AutomationStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvan-start-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        profile_ = (dir_ / "t.ini").string();
        std::ofstream(profile_) << "[Ports]\nAuto=0\nCOM1=loop://\n\n[COMM]\nBaudRate=4800\n";
        plat::DeviceMap::Clear();
        CommandLine line;
        line.automation = true;
        line.profilePath = profile_;
        ASSERT_TRUE(app_.InitInstance(line, {{}, false, false}));
        client_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "startup-client");
        ASSERT_TRUE(client_.isConnected());
    }
    void TearDown() override {
        app_.ExitInstance();
        QDBusConnection::disconnectFromBus("startup-client");
        plat::DeviceMap::Clear();
        fs::remove_all(dir_);
    }
    QString CreateChannel() {
        QDBusMessage reply =
            Call(client_, "RiVo32.Document", "/", "Tolvan32.ClassFactory", "CreateInstance");
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        const QVariant value = reply.arguments().value(0);
        if (value.canConvert<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
        return value.toString();
    }
    QList<CMDIFrameSplitter*> ChannelFrames() {
        QList<CMDIFrameSplitter*> out;
        for (QMdiSubWindow* w : app_.MainFrame()->MdiArea()->subWindowList())
            if (auto* f = qobject_cast<CMDIFrameSplitter*>(w)) out << f;
        return out;
    }

    fs::path dir_;
    std::string profile_;
    CAppComm app_;
    QDBusConnection client_{QString()};
};

TEST_F(AutomationStartTest, ClientChannelIsListedShownAndHidden) {
    EXPECT_FALSE(app_.MainFrame()->isVisible());
    EXPECT_TRUE(app_.Channels().empty());

    const QString path = CreateChannel();
    ASSERT_FALSE(path.isEmpty());
    ASSERT_EQ(app_.Channels().size(), 1u);
    tfw::CDocument* channel = app_.Channels().front();
    EXPECT_EQ(channel->GetTitle(), "Not Connected. Name: RiVo321");
    EXPECT_FALSE(channel->HasViews());
    EXPECT_TRUE(ChannelFrames().isEmpty());

    // The client drives its channel while it has no window.
    QDBusMessage reply = Call(client_, "RiVo32.Document", path, "RiVo32.Document", "ConnectToPort",
                              {QVariant::fromValue<short>(1), 9600, QVariant::fromValue<short>('N'),
                               QVariant::fromValue<short>(8), QVariant::fromValue<short>(1)});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(reply.arguments().value(0).toInt(), 0);

    // Chosen from the list: a split window with both views.
    ASSERT_TRUE(app_.ShowChannel(*channel));
    ASSERT_EQ(ChannelFrames().size(), 1);
    CMDIFrameSplitter* frame = ChannelFrames().front();
    EXPECT_EQ(channel->GetViews().size(), 2u);
    EXPECT_NE(frame->CommView(), nullptr);
    EXPECT_NE(frame->InfoView(), nullptr);

    // Chosen again: the same window comes forward, no second one.
    ASSERT_TRUE(app_.ShowChannel(*channel));
    EXPECT_EQ(ChannelFrames().size(), 1);

    // The user may not close a window of a channel the client holds.
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(ChannelFrames().size(), 1);

    // Hide: the windows go, the channel stays listed and can be shown again.
    EXPECT_EQ(app_.HideChannel(*channel), 1);
    EXPECT_TRUE(ChannelFrames().isEmpty());
    ASSERT_EQ(app_.Channels().size(), 1u);
    EXPECT_FALSE(channel->HasViews());
    ASSERT_TRUE(app_.ShowChannel(*channel));
    EXPECT_EQ(ChannelFrames().size(), 1);
    EXPECT_EQ(app_.HideChannel(*channel), 1);

    // The last release closes the window-less channel and ends the automation mode.
    QSignalSpy quit(&app_, &CAppComm::QuitRequested);
    reply = Call(client_, "RiVo32.Document", path, "Tolvan32.Unknown", "Release");
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app_.Channels().empty());
    EXPECT_EQ(quit.count(), 1);
}

TEST_F(AutomationStartTest, ListOfChannelsDialogChoosesTheShownChannel) {
    CreateChannel();
    CreateChannel();
    ASSERT_EQ(app_.Channels().size(), 2u);
    tfw::CDocument* second = app_.Channels()[1];

    // The real command: the dialog lists the titles sorted; the second entry is chosen
    // with the keyboard.
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CDlgListChannels*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "List of channels");
        for (int i = 0; i < dialog->List()->count(); ++i) seen << dialog->List()->item(i)->text();
        dialog->List()->setCurrentRow(1);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(dialog->List(), &enter);
    });
    EXPECT_TRUE(app_.ExecuteCommand(32776));
    EXPECT_EQ(seen, QStringList({"Not Connected. Name: RiVo321", "Not Connected. Name: RiVo322"}));
    ASSERT_EQ(ChannelFrames().size(), 1);
    EXPECT_TRUE(second->HasViews());
    EXPECT_FALSE(app_.Channels()[0]->HasViews());
}

TEST_F(AutomationStartTest, ModemAndInfraRedClientsGetTheirChannelTypes) {
    for (const char* bus : {"DaRi32.Document", "ViDA.Document"}) {
        QDBusMessage reply = Call(client_, bus, "/", "Tolvan32.ClassFactory", "CreateInstance");
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    const std::vector<tfw::CDocument*> channels = app_.Channels();
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(channels[0]->GetTitle(), "Not Connected. Name: DaRi321");
    EXPECT_EQ(channels[1]->GetTitle(), "Not Connected. Name: ViDA1");
    // Each type's window carries its own menu bar.
    ASSERT_TRUE(app_.ShowChannel(*channels[0]));
    ASSERT_TRUE(app_.ShowChannel(*channels[1]));
    QList<int> menus;
    for (CMDIFrameSplitter* frame : ChannelFrames()) menus << frame->MenuId();
    std::sort(menus.begin(), menus.end());
    EXPECT_EQ(menus, QList<int>({4, 6}));
}

TEST_F(AutomationStartTest, ExitWritesTheLineParameters) {
    app_.ExitInstance();
    tfw::CProfile saved;
    ASSERT_TRUE(saved.Load(profile_));
    EXPECT_EQ(saved.GetString("COMM", "BaudRate"), "4800");
    EXPECT_EQ(saved.GetString("COMM", "Parity"), "None");
    EXPECT_EQ(saved.GetString("Ports", "COM1"), "loop://");
}

TEST(ListOfChannelsDialog, SortsAndAnswersInTheCallersOrder) {
    CDlgListChannels dialog({"b channel", "a channel", "c channel"});
    ASSERT_EQ(dialog.List()->count(), 3);
    EXPECT_EQ(dialog.List()->item(0)->text(), "a channel");
    EXPECT_EQ(dialog.List()->item(2)->text(), "c channel");
    // Labelled "Channels"; no line is chosen before the user picks one.
    QLabel* label = dialog.findChild<QLabel*>();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("&Channels"));
    EXPECT_EQ(label->buddy(), dialog.List());
    EXPECT_TRUE(dialog.List()->selectedItems().isEmpty());
    EXPECT_FALSE(dialog.ShowButton()->isEnabled());
    dialog.show();
    dialog.grab().save(test::GrabPath("list-of-channels"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.List(), &enter);
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "Enter with no line chosen ends nothing";
    dialog.List()->setCurrentRow(0);
    EXPECT_TRUE(dialog.ShowButton()->isEnabled());

    dialog.List()->setCurrentRow(2);
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(dialog.List(), &space);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), 2);

    CDlgListChannels empty({});
    EXPECT_FALSE(empty.ShowButton()->isEnabled());
    empty.accept();  // nothing chosen: the dialog does not end with a choice
    EXPECT_EQ(empty.Chosen(), -1);
    EXPECT_NE(empty.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tolvan::app

namespace tolvan::app {
namespace {

class UserStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvan-user-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        profile_ = (dir_ / "t.ini").string();
        std::ofstream(profile_) << "[Ports]\nAuto=0\nCOM1=loop://\n";
        plat::DeviceMap::Clear();
    }
    void TearDown() override {
        app_.ExitInstance();
        plat::DeviceMap::Clear();
        fs::remove_all(dir_);
    }
    fs::path dir_;
    std::string profile_;
    CAppComm app_;
};

TEST_F(UserStartTest, NewChannelWindowAndSecondStartHandsOver) {
    CommandLine line;
    line.profilePath = profile_;
    ASSERT_TRUE(app_.InitInstance(line, {{}, false, false}));
    ASSERT_EQ(app_.Channels().size(), 1u);
    EXPECT_EQ(app_.Channels().front()->GetTitle(), "Not Connected. Name: RiVo321");
    EXPECT_EQ(app_.Channels().front()->GetViews().size(), 2u);

    // A second program started by the user: the running server makes its new channel.
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString((dir_ / "data").string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(TOLVAN_BINARY_DIR "/app/tolvan32",
                 {"--profile", QString::fromStdString(profile_)});
    ASSERT_TRUE(second.waitForStarted(10000));
    while (second.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    // The hand-over was answered at once; the window makes the channel when it gets to it.
    ASSERT_NE(app_.Instance(), nullptr);
    while (!app_.Instance()->Pending().isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(app_.Channels().size(), 2u);
    EXPECT_EQ(app_.Channels()[1]->GetTitle(), "Not Connected. Name: RiVo322");
    // The second start did not register anything: the running server did that.
    EXPECT_FALSE(fs::exists(dir_ / "data"));

    // A path relative to the second start's folder names the file there, not in the server's.
    std::ofstream(dir_ / "empty.lst").flush();
    QProcess third;
    third.setProcessEnvironment(env);
    third.setWorkingDirectory(QString::fromStdString(dir_.string()));
    third.start(TOLVAN_BINARY_DIR "/app/tolvan32",
                {"--profile", QString::fromStdString(profile_), "empty.lst"});
    ASSERT_TRUE(third.waitForStarted(10000));
    while (third.state() != QProcess::NotRunning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(third.exitCode(), 0);
    while (!app_.Instance()->Pending().isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    bool opened = false;
    for (tfw::CDocument* doc : tfw::TheDocManager().GetDocuments())
        opened = opened || doc->GetPathName() == (dir_ / "empty.lst").string();
    EXPECT_TRUE(opened);
}

// Answers the next Save As dialog with `path`; `offered` gets the file name it proposed.
void AnswerSaveAs(const std::string& path, QString* offered, bool* asked) {
    *asked = false;
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        *asked = true;
        *offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->selectFile(QString::fromStdString(path));
        static_cast<QDialog*>(dialog)->accept();  // as the dialog's Save button does
    });
}

TEST_F(UserStartTest, ChannelWindowSavesClosesAndItsCaptionFollowsTheChannelsTitle) {
    CommandLine line;
    line.profilePath = profile_;
    ASSERT_TRUE(app_.InitInstance(line, {{}, false, true}));
    ASSERT_EQ(app_.Channels().size(), 1u);
    auto* channel = dynamic_cast<CDocComm*>(app_.Channels().front());
    ASSERT_NE(channel, nullptr);
    CFrameMain& main = *app_.MainFrame();
    ASSERT_EQ(main.MdiArea()->subWindowList().size(), 1);
    auto* frame = qobject_cast<CMDIFrameSplitter*>(main.MdiArea()->subWindowList().front());
    ASSERT_NE(frame, nullptr);
    main.ActivateFrame(frame);
    QApplication::processEvents();
    const auto trigger = [&](int id) {
        main.UpdateCommandUI();
        QAction* action = main.Actions().Action(id);
        EXPECT_TRUE(action->isEnabled()) << id;
        action->trigger();
        QApplication::processEvents();
    };

    // Connecting and closing the connection retitle the channel; the caption follows.
    const QString untitled = frame->windowTitle();
    EXPECT_EQ(untitled, QStringLiteral("Not Connected. Name: RiVo321"));
    ASSERT_EQ(channel->ConnectToPort(1, 9600, 'N', 8, 1), 0);
    QApplication::processEvents();
    EXPECT_EQ(frame->windowTitle().toStdString(), channel->GetTitle());
    EXPECT_NE(frame->windowTitle(), untitled);
    EXPECT_TRUE(main.windowTitle().endsWith(frame->windowTitle()));
    channel->CloseConnection();
    QApplication::processEvents();
    EXPECT_EQ(frame->windowTitle(), untitled);

    // Save of an untitled channel asks for a name, offering the channel's own.
    const std::string first = (dir_ / "bench.ccf").string();
    QString offered;
    bool asked = false;
    AnswerSaveAs(first, &offered, &asked);
    trigger(cmd::FileSave);
    EXPECT_TRUE(asked);
    EXPECT_EQ(offered, QStringLiteral("RiVo321.ccf"));
    ASSERT_TRUE(fs::exists(first));
    EXPECT_GT(fs::file_size(first), 0u);
    EXPECT_EQ(channel->GetPathName(), first);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Not Connected. Name: bench.ccf"));
    EXPECT_EQ(main.RecentFiles().value(0).toStdString(), first);

    // Save of a named one writes it again without asking.
    fs::remove(first);
    AnswerSaveAs((dir_ / "never.ccf").string(), &offered, &asked);
    trigger(cmd::FileSave);
    EXPECT_FALSE(asked);
    EXPECT_TRUE(fs::exists(first));

    // Save As moves it to the new name; the old file stays as it was.
    const std::string second = (dir_ / "desk.ccf").string();
    AnswerSaveAs(second, &offered, &asked);
    trigger(cmd::FileSaveAs);
    EXPECT_TRUE(asked);
    EXPECT_EQ(offered, QStringLiteral("bench.ccf"));
    EXPECT_TRUE(fs::exists(second));
    EXPECT_EQ(channel->GetPathName(), second);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Not Connected. Name: desk.ccf"));
    EXPECT_EQ(main.RecentFiles().value(0).toStdString(), second);
    EXPECT_EQ(main.RecentFiles().value(1).toStdString(), first);

    // Close: the window and the channel go (nobody else holds it).
    trigger(cmd::FileClose);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(main.MdiArea()->subWindowList().isEmpty());
    EXPECT_TRUE(app_.Channels().empty());
}

TEST(DesktopRegistration, WritesEntryTypesAndActivationFiles) {
    const fs::path home = fs::temp_directory_path() / ("tolvan-xdg-" + std::to_string(::getpid()));
    std::string error;
    ASSERT_TRUE(RegisterWithDesktop("/opt/my tools/tolvan32", "/home/u/t.ini", home.string(),
                                    &error, {(home / "no-system").string()}))
        << error;
    std::ifstream desktop(home / "applications/tolvan32.desktop");
    std::stringstream text;
    text << desktop.rdbuf();
    EXPECT_NE(text.str().find("Exec=\"/opt/my tools/tolvan32\" --profile \"/home/u/t.ini\" %f"),
              std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("application/x-tolvan32-phonelist;"), std::string::npos);
    std::ifstream mime(home / "mime/packages/tolvan32.xml");
    std::stringstream types;
    types << mime.rdbuf();
    for (const char* glob : {"*.ccf", "*.mcf", "*.icf", "*.lst"})
        EXPECT_NE(types.str().find(glob), std::string::npos) << glob;
    for (const char* name : {"RiVo32", "DaRi32", "ViDA"}) {
        std::ifstream service(home / "dbus-1/services" / (std::string(name) + ".Document.service"));
        std::stringstream s;
        s << service.rdbuf();
        EXPECT_NE(s.str().find("-Automation"), std::string::npos) << name;
        EXPECT_NE(s.str().find("/home/u/t.ini"), std::string::npos) << name;
    }
    fs::remove_all(home);
}

TEST(DesktopRegistration, LeavesWhatAPackageInstalledToThePackage) {
    const fs::path root = fs::temp_directory_path() / ("tolvan-pkg-" + std::to_string(::getpid()));
    const fs::path home = root / "home";
    const fs::path system = root / "usr/share";
    // What a package installs, found in the second of the system folders.
    for (const char* file :
         {"applications/tolvan32.desktop", "dbus-1/services/RiVo32.Document.service"}) {
        fs::create_directories((system / file).parent_path());
        std::ofstream(system / file) << "installed\n";
    }
    std::string error;
    ASSERT_TRUE(RegisterWithDesktop("/work/build/app/tolvan32", "/home/u/t.ini", home.string(),
                                    &error, {(root / "none").string(), system.string()}))
        << error;
    EXPECT_FALSE(fs::exists(home / "applications/tolvan32.desktop"));
    EXPECT_FALSE(fs::exists(home / "dbus-1/services"));
    EXPECT_TRUE(fs::exists(home / "mime/packages/tolvan32.xml"));  // not installed: ours
    std::ifstream kept(system / "applications/tolvan32.desktop");
    std::string line;
    std::getline(kept, line);
    EXPECT_EQ(line, "installed");

    // The program's own prefix counts as installed too, and the environment's list is read.
    ::setenv("XDG_DATA_DIRS", "/a:/b/", 1);
    EXPECT_EQ(SystemDataDirs("/opt/t32/bin/tolvan32"),
              (std::vector<std::string>{"/a", "/b/", "/opt/t32/share"}));
    ::unsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(SystemDataDirs("/x/bin/tolvan32").front(), "/usr/local/share");
    fs::remove_all(root);
}

}  // namespace
}  // namespace tolvan::app
