// The server's window as a user meets it, in user mode: exit asks about every modified
// document, a first run keeps its settings in a folder it makes, a phone list saved under a
// bare name opens as a phone list again, Window > New Window for every kind of window, and a
// second start that never becomes a second server (two real processes on the test's bus).
#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_bar.h"
#include "app/mdi_frame_splitter.h"
#include "app/tolvan_app.h"
#include "app/view_buffer_info.h"
#include "framework/doc_manager.h"
#include "framework/document.h"
#include "platform/device_map.h"
#include "qt_test_support.h"
#include "setup/records/comm_param.h"
#include "setup/dial_list.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Plays the user in front of the window: answers each message box with the next button of
// the script and each Save As dialog with the next path, recording what was asked.
class User : public QObject {
public:
    struct Answer {
        Answer(QMessageBox::StandardButton b) : button(b) {}   // NOLINT: a script reads better
        Answer(std::string path) : saveAs(std::move(path)) {}  // NOLINT
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        std::string saveAs;  // for a Save As dialog
    };
    explicit User(std::deque<Answer> script, QWidget* mainWindow = nullptr)
        : script_(std::move(script)), main_(mainWindow) {
        timer_.setInterval(5);
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start();
    }

    QStringList asked;    // box texts; "Save As <offered name>" for a file dialog
    bool centred = true;  // every box stood on the middle of the main window
    bool leftOver() const { return !script_.empty(); }

private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last_) return;
        last_ = modal;
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            asked << "Save As " + QFileInfo(dialog->selectedFiles().value(0)).fileName();
            const Answer answer = Next();
            if (answer.saveAs.empty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(QString::fromStdString(answer.saveAs));
            static_cast<QDialog*>(dialog)->accept();  // as its Save button does
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        asked << box->text();
        static int shown = 0;
        box->grab().save(test::GrabPath(("box-" + std::to_string(++shown)).c_str()));
        if (main_ &&
            (box->frameGeometry().center() - main_->frameGeometry().center()).manhattanLength() >
                40)
            centred = false;
        const Answer answer = Next();
        QAbstractButton* button = box->button(answer.button);
        if (!button) button = box->button(QMessageBox::Cancel);
        if (!button) button = box->button(QMessageBox::Ok);
        if (button) button->click();
    }
    Answer Next() {
        if (script_.empty()) return Answer(QMessageBox::Cancel);  // unexpected: leave it
        Answer a = script_.front();
        script_.pop_front();
        return a;
    }

    std::deque<Answer> script_;
    QPointer<QWidget> main_;
    QPointer<QWidget> last_;
    QTimer timer_;
};

class UserWindow : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvan-work-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        profile_ = (dir_ / "t.ini").string();
        std::ofstream(profile_) << "[Ports]\nAuto=0\nCOM1=loop://\n";
        plat::DeviceMap::Clear();
        // The tests close the main window; the test program goes on.
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        app_.reset();
        plat::DeviceMap::Clear();
        QApplication::setQuitOnLastWindowClosed(true);
        fs::remove_all(dir_);
    }
    void Start(const std::string& profile) {
        app_ = std::make_unique<CAppComm>();
        CommandLine line;
        line.profilePath = profile;
        ASSERT_TRUE(app_->InitInstance(line, {{}, false, true}));
        QApplication::processEvents();
    }
    CFrameMain& Main() { return *app_->MainFrame(); }
    void Trigger(int id) {
        Main().UpdateCommandUI();
        QAction* action = Main().Actions().Action(id);
        ASSERT_TRUE(action->isEnabled()) << id;
        action->trigger();
        QApplication::processEvents();
    }
    // A new phone list in its window, as File New makes it.
    CDocDialList* NewList() {
        tfw::CDocTemplate* tmpl = tfw::TheDocManager().FindTemplateForPath("x.lst");
        return tmpl ? dynamic_cast<CDocDialList*>(tmpl->OpenDocumentFile(nullptr, true)) : nullptr;
    }
    static tagDialEntry Entry(const char* comment) {
        tagDialEntry e;
        e.strComment = comment;
        e.strDialString = "5551234";
        return e;
    }

    fs::path dir_;
    std::string profile_;
    std::unique_ptr<CAppComm> app_;
};

using B = QMessageBox::StandardButton;

TEST_F(UserWindow, ExitAsksAboutEveryModifiedListAndCancelKeepsEverything) {
    Start(profile_);
    CDocDialList* a = NewList();
    CDocDialList* b = NewList();
    ASSERT_TRUE(a && b);
    const tagDialEntry office = Entry("office");
    const tagDialEntry home = Entry("home");
    a->AddNode(&office);
    const fs::path aPath = dir_ / "a.lst";
    ASSERT_TRUE(a->DoSave(aPath.string()));
    const std::string savedA = ReadFile(aPath);
    a->AddNode(&home);
    b->AddNode(&home);
    ASSERT_TRUE(a->IsModified() && b->IsModified());
    const QString askA = QStringLiteral("Save changes to %1?").arg(QString::fromStdString(aPath));
    const QString askB =
        QStringLiteral("Save changes to %1?").arg(QString::fromStdString(b->GetTitle()));

    {
        // Cancel on the first question: nothing more is asked, nothing written, still running.
        User user({B::Cancel}, &Main());
        Trigger(cmd::AppExit);
        EXPECT_EQ(user.asked, QStringList{askA});
        EXPECT_TRUE(user.centred) << "the box stands on the main window";
        EXPECT_TRUE(Main().isVisible());
        EXPECT_TRUE(a->IsModified() && b->IsModified());
        EXPECT_EQ(ReadFile(aPath), savedA);
    }
    {
        // The window's close button asks the same; No, then Cancel: still nothing changed.
        User user({B::No, B::Cancel});
        EXPECT_FALSE(Main().close());
        EXPECT_EQ(user.asked, (QStringList{askA, askB}));
        EXPECT_TRUE(Main().isVisible());
        EXPECT_TRUE(a->IsModified() && b->IsModified());
        EXPECT_EQ(ReadFile(aPath), savedA);
    }
    {
        // Yes saves the first, No lets the second go: the program ends.
        User user({B::Yes, B::No});
        Trigger(cmd::AppExit);
        EXPECT_EQ(user.asked, (QStringList{askA, askB}));
        EXPECT_FALSE(user.leftOver());
        EXPECT_FALSE(Main().isVisible());
    }
    const std::string written = ReadFile(aPath);
    EXPECT_NE(written, savedA);
    EXPECT_NE(written.find("home"), std::string::npos);
    app_->ExitInstance();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2)
        << "the profile and a.lst only: the discarded list was not written";
}

TEST_F(UserWindow, ExitSavesAnUntitledListUnderTheNameTheUserGives) {
    Start(profile_);
    CDocDialList* list = NewList();
    ASSERT_NE(list, nullptr);
    const tagDialEntry office = Entry("office");
    list->AddNode(&office);
    const std::string title = list->GetTitle();
    User user({B::Yes, (dir_ / "numbers").string()});
    Trigger(cmd::AppExit);
    EXPECT_EQ(user.asked, (QStringList{QString::fromStdString("Save changes to " + title + "?"),
                                       QString::fromStdString("Save As " + title + ".lst")}));
    EXPECT_FALSE(Main().isVisible());
    EXPECT_NE(ReadFile(dir_ / "numbers.lst").find("office"), std::string::npos);
}

TEST_F(UserWindow, PhoneListSaveAsAddsTheExtensionAndTheFileOpensAsAPhoneList) {
    Start(profile_);
    CDocDialList* list = NewList();
    ASSERT_NE(list, nullptr);
    const tagDialEntry office = Entry("office");
    list->AddNode(&office);
    const std::string title = list->GetTitle();
    {
        User user({(dir_ / "x").string()});
        Trigger(cmd::FileSaveAs);
        EXPECT_EQ(user.asked, QStringList{QString::fromStdString("Save As " + title + ".lst")})
            << "the list's own name is offered, with the extension";
    }
    const fs::path saved = dir_ / "x.lst";
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_FALSE(fs::exists(dir_ / "x"));
    EXPECT_EQ(list->GetPathName(), saved.string());
    EXPECT_EQ(Main().ActiveChildFrame()->windowTitle(), QStringLiteral("x.lst"));

    Trigger(cmd::FileClose);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Main().MdiArea()->subWindowList().size() == 1) << "the start-up channel only";

    // Opened again (File > Open chooses by the extension): a phone list with its entry.
    tfw::CDocument* reopened = tfw::TheDocManager().OpenDocumentFile(saved.string());
    auto* again = dynamic_cast<CDocDialList*>(reopened);
    ASSERT_NE(again, nullptr) << "not a channel";
    ASSERT_EQ(again->GetListSize(), 1);
    EXPECT_EQ(*again->GetNode(0), office);
    EXPECT_EQ(Main().ActiveChildFrame()->MenuId(), menu::PhoneList);
}

TEST_F(UserWindow, NewWindowCopiesPhoneListAndChannelWindowsOnce) {
    // Qt complains when a window is added to the MDI area twice.
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (type == QtWarningMsg && m.contains(QLatin1String("addSubWindow"))) warnings << m;
        });
    Start(profile_);
    CDocDialList* list = NewList();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(Main().MdiArea()->subWindowList().size(), 2);

    Trigger(cmd::WindowNew);
    ASSERT_EQ(Main().MdiArea()->subWindowList().size(), 3);
    auto* copy = qobject_cast<CMDIFrameBar*>(Main().ActiveChildFrame());
    ASSERT_NE(copy, nullptr) << "a second phone-list window";
    EXPECT_EQ(list->GetViews().size(), 2u);

    tfw::CDocument* channel = app_->Channels().front();
    Main().ActivateFrame(qobject_cast<CMDIChildFrame*>(Main().MdiArea()->subWindowList().front()));
    Trigger(cmd::WindowNew);
    EXPECT_EQ(Main().MdiArea()->subWindowList().size(), 4);
    EXPECT_NE(qobject_cast<CMDIFrameSplitter*>(Main().ActiveChildFrame()), nullptr);
    EXPECT_EQ(channel->GetViews().size(), 4u) << "two panes in each of two windows";
    qInstallMessageHandler(previous);
    for (const QString& w : warnings) ADD_FAILURE() << w.toStdString();
}

TEST_F(UserWindow, InformationPaneFitsANewWindowAndScrollsInTiledOnes) {
    Start(profile_);
    auto* frame = qobject_cast<CMDIFrameSplitter*>(Main().MdiArea()->subWindowList().value(0));
    ASSERT_NE(frame, nullptr);
    QApplication::processEvents();
    CViewBufferInfo* info = frame->InfoView();
    const QSize form = info->widget()->sizeHint();
    EXPECT_GE(info->viewport()->width(), form.width()) << "nothing cut off at the right";
    EXPECT_GE(info->viewport()->height(), form.height());
    EXPECT_FALSE(info->horizontalScrollBar()->isVisible());
    EXPECT_EQ(frame->Splitter()->sizes()[0], frame->Splitter()->width() / 2);
    Main().grab().save(test::GrabPath("user-start"));

    // Maximized, the child's name stands once in the main window's title.
    frame->showMaximized();
    QApplication::processEvents();
    EXPECT_EQ(Main().windowTitle().toStdString(),
              "Brevond Communication server - " + frame->windowTitle().toStdString());
    frame->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(Main().windowTitle().toStdString(),
              "Brevond Communication server - " + frame->windowTitle().toStdString());

    // Four windows tiled: each information pane scrolls to what it cannot show.
    for (int i = 0; i < 3; ++i) Trigger(cmd::WindowNew);
    ASSERT_EQ(Main().MdiArea()->subWindowList().size(), 4);
    Trigger(cmd::WindowTile);
    QApplication::processEvents();
    Main().grab().save(test::GrabPath("tiled"));
    EXPECT_TRUE(info->horizontalScrollBar()->isVisible() || info->verticalScrollBar()->isVisible());
    info->ensureWidgetVisible(info->OutputButton());
    const QRect button(info->OutputButton()->mapTo(info->viewport(), QPoint()),
                       info->OutputButton()->size());
    EXPECT_TRUE(info->viewport()->rect().contains(button)) << "the Output button can be reached";
}

TEST_F(UserWindow, FirstRunMakesTheProfileFolderAndTheNextStartReadsItBack) {
    const fs::path folder = dir_ / "config" / "tolvan32";
    const std::string profile = (folder / "tolvan32.ini").string();
    Start(profile);
    EXPECT_TRUE(fs::is_directory(folder)) << "made at start";
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    AndCommParam& params = *DLLGetCommParam();
    params.SetCurBaudRate(19200);
    CDocDialList* list = NewList();
    ASSERT_NE(list, nullptr);
    const std::string numbers = (dir_ / "numbers.lst").string();
    ASSERT_TRUE(list->DoSave(numbers));  // enters the recent files
    {
        User user({}, nullptr);
        Trigger(cmd::AppExit);
        EXPECT_TRUE(user.asked.isEmpty()) << user.asked.join('|').toStdString();
    }
    app_->ExitInstance();
    ASSERT_TRUE(fs::exists(profile));

    params.SetCurBaudRate(9600);
    Start(profile);
    EXPECT_EQ(params.GetBaudRate(params.GetCurBaudRate()), 19200);
    EXPECT_EQ(Main().RecentFiles().value(0).toStdString(), numbers);
    app_->ExitInstance();
    params.SetCurBaudRate(9600);
}

TEST_F(UserWindow, AProfileThatCannotBeWrittenIsToldInTheWindow) {
    std::ofstream(dir_ / "plain") << "a file, not a folder";
    const std::string profile = (dir_ / "plain" / "tolvan32.ini").string();
    User user({B::Ok, B::Ok});
    Start(profile);
    // Told once the window is up, and again when the settings are lost at exit.
    QElapsedTimer waited;
    waited.start();
    while (user.asked.isEmpty() && waited.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_EQ(user.asked.size(), 1);
    EXPECT_TRUE(user.asked[0].contains(QString::fromStdString(profile)));
    EXPECT_TRUE(user.asked[0].contains(QStringLiteral("not a folder")))
        << user.asked[0].toStdString();
    Trigger(cmd::AppExit);
    ASSERT_EQ(user.asked.size(), 2);
    EXPECT_TRUE(user.asked[1].contains(QString::fromStdString(profile)));
    EXPECT_FALSE(Main().isVisible()) << "the program still ends";
}

// The bus names a server owns, with the process that owns each.
qint64 OwnerPid(const QString& name) {
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const QDBusReply<QString> owner = bus->serviceOwner(name);
    if (!owner.isValid()) return -1;
    const QDBusReply<uint> pid = bus->servicePid(owner.value());
    return pid.isValid() ? pid.value() : -1;
}

TEST(SecondStart, EndsAtOnceWhileTheFirstShowsABoxAndNeverBecomesASecondServer) {
    const fs::path dir =
        fs::temp_directory_path() / ("tolvan-second-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const QString profile = QString::fromStdString((dir / "t.ini").string());
    std::ofstream(profile.toStdString()) << "[Ports]\nAuto=0\nCOM1=loop://\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString((dir / "data").string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString program = QStringLiteral(TOLVAN_BINARY_DIR "/app/tolvan32");
    const QString missing = QString::fromStdString((dir / "missing.ccf").string());

    // The first server cannot open its document: its message box waits for a user who never
    // answers.
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(program, {"--profile", profile, missing});
    ASSERT_TRUE(first.waitForStarted(10000));
    QElapsedTimer up;
    up.start();
    while (OwnerPid("RiVo32.Document") != first.processId() && up.elapsed() < 20000 &&
           first.state() == QProcess::Running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    ASSERT_EQ(OwnerPid("Tolvan32.App"), first.processId());
    ASSERT_EQ(OwnerPid("RiVo32.Document"), first.processId());

    // A second start hands its document over (which needs a box of its own) and ends.
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(program, {"--profile", profile, missing});
    ASSERT_TRUE(second.waitForStarted(10000));
    EXPECT_TRUE(second.waitForFinished(3000)) << "the hand-over waited for the first's box";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    for (const char* name : {"Tolvan32.App", "RiVo32.Document", "DaRi32.Document", "ViDA.Document"})
        EXPECT_EQ(OwnerPid(QLatin1String(name)), first.processId()) << name;
    EXPECT_EQ(first.state(), QProcess::Running);

    second.kill();
    second.waitForFinished(5000);
    first.kill();
    first.waitForFinished(5000);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tolvan::app
