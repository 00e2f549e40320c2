// The main window: menus of each document type, toolbar, status bar prompts and indicators,
// command routing and enabling, window commands, recent files, the about box, the strings.
#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/dlg_about.h"
#include "app/frame_main.h"
#include "app/key_lock_state.h"
#include "app/mdi_frame_bar.h"
#include "app/mdi_frame_splitter.h"
#include "app/menu_table.h"
#include "app/tab_bar.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "framework/string_table.h"
#include "qt_test_support.h"
#include "test_channel.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFile>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <span>
#include <string>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tolvan::app::test {
namespace {

// The application's or a document's part of the route: handles the ids it is given.
class RecordingTarget : public CommandTarget {
public:
    explicit RecordingTarget(std::set<int> ids) : ids_(std::move(ids)) {}
    bool UpdateCommand(int id, CommandState&) override { return ids_.count(id) > 0; }
    bool ExecuteCommand(int id) override {
        if (!ids_.count(id)) return false;
        executed.push_back(id);
        return true;
    }
    std::vector<int> executed;

private:
    std::set<int> ids_;
};

QStringList MenuBarTitles(QMainWindow& w) {
    QStringList t;
    for (QAction* a : w.menuBar()->actions()) t << a->text();
    return t;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        frame.SetKeyLockReader([this](LockKey k) { return locks[k]; });
        frame.resize(1000, 700);
        frame.show();
        QApplication::processEvents();
    }
    bool Enabled(int id) {
        frame.UpdateCommandUI();
        return frame.Actions().Action(id)->isEnabled();
    }
    std::optional<bool> Checked(int id) {
        frame.UpdateCommandUI();
        QAction* a = frame.Actions().Action(id);
        return a->isCheckable() ? std::optional<bool>(a->isChecked()) : std::nullopt;
    }
    CMDIFrameSplitter* AddChannelWindow(const QString& title) {
        auto* child = new CMDIFrameSplitter(&channel);
        child->setWindowTitle(title);
        child->resize(400, 300);
        frame.AddChildFrame(child);
        channel.AddView(child->CommView());
        channel.AddView(child->InfoView());
        child->InitialUpdateFrame();
        QApplication::processEvents();
        return child;
    }

    std::map<LockKey, bool> locks{
        {LockKey::Caps, false}, {LockKey::Num, false}, {LockKey::Scroll, false}};
    TestChannel channel{1050, 1050};
    CFrameMain frame;
};

TEST_F(MainWindow, StartsWithTitleMenu2ToolbarAndIdlePrompt) {
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Brevond Communication server"));
    EXPECT_EQ(frame.CurrentMenuId(), menu::Main);
    EXPECT_EQ(MenuBarTitles(frame), (QStringList{"&File", "&View", "&Help"}));

    std::vector<int> buttons;
    for (QAction* a : frame.ToolBar()->actions()) {
        buttons.push_back(a->isSeparator() ? 0 : CommandActions::CommandId(a));
        if (!a->isSeparator()) {
            const QPixmap image = a->icon().pixmap(QSize(16, 15));
            EXPECT_FALSE(image.isNull()) << CommandActions::CommandId(a);
            EXPECT_GT(CountColour(image.toImage(), image.rect(), Qt::black), 0) << "drawn picture";
        }
    }
    EXPECT_EQ(buttons, (std::vector<int>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 57607,
                                         57664, 57669}));
    EXPECT_FALSE(frame.ToolBar()->isMovable());
    EXPECT_FALSE(frame.ToolBar()->isFloatable());
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("For Help, press F1"));
    frame.grab().save(GrabPath("main-window"));
}

// The pop-up built from one table row list: separators, sub-menus and an item per command
// with the menu's own text, the recent-file placeholder standing for the whole list.
void ExpectBuiltFrom(QMenu* menu, std::span<const MenuItemDef> items, const std::string& where) {
    const QList<QAction*> actions = menu->actions();
    qsizetype at = 0;
    for (const MenuItemDef& item : items) {
        const std::string here = where + " / " + std::string(item.text);
        ASSERT_LT(at, actions.size()) << here << ": missing";
        QAction* a = actions[at];
        if (item.IsSeparator()) {
            EXPECT_TRUE(a->isSeparator()) << here;
        } else if (!item.submenu.empty()) {
            ASSERT_NE(a->menu(), nullptr) << here;
            EXPECT_EQ(a->menu()->title(), QLatin1String(item.text.data(), item.text.size()));
            ExpectBuiltFrom(a->menu(), item.submenu, here);
        } else if (item.id == cmd::FileMru1) {
            for (int i = 0; i < cmd::FileMruCount; ++i, ++at) {
                ASSERT_LT(at, actions.size()) << here << ": recent-file slot " << i;
                EXPECT_EQ(CommandActions::CommandId(actions[at]), cmd::FileMru1 + i) << here;
            }
            continue;
        } else {
            EXPECT_EQ(CommandActions::CommandId(a), item.id) << here;
            // The menu's own text (its own mnemonic), without the accelerator after the tab.
            const QString text = QLatin1String(item.text.data(), item.text.size());
            EXPECT_EQ(a->text(), text.left(text.indexOf(u'\t'))) << here;
        }
        ++at;
    }
    EXPECT_EQ(at, actions.size()) << where << ": items beyond the table";
}

TEST_F(MainWindow, MenusOfEachDocumentTypeWithAcceleratorsAndPrompts) {
    CommandActions& actions = frame.Actions();
    for (const MenuDef& def : MenuTable()) {
        const QList<QMenu*> built = actions.BuildMenus(def.menuId, &frame);
        ASSERT_EQ(built.size(), static_cast<qsizetype>(def.popups.size())) << def.menuId;
        for (std::size_t i = 0; i < def.popups.size(); ++i) {
            const PopupDef& popup = def.popups[i];
            EXPECT_EQ(built[static_cast<qsizetype>(i)]->title(),
                      QLatin1String(popup.title.data(), popup.title.size()));
            ExpectBuiltFrom(built[static_cast<qsizetype>(i)], popup.items,
                            "menu " + std::to_string(def.menuId) + " " + std::string(popup.title));
        }
    }
    EXPECT_TRUE(actions.BuildMenus(99, &frame).isEmpty());

    // Every accelerator reaches its command's one action, whichever menu shows it.
    for (const AcceleratorDef& acc : AcceleratorTable())
        EXPECT_TRUE(actions.Action(acc.id)->shortcuts().contains(
            QKeySequence(QLatin1String(acc.key.data(), acc.key.size()))))
            << acc.key;

    // A command shared by several menus keeps each menu's own text and mnemonic (the
    // modem's "Transmit Strin&G...", the channel's "Transmit &String..."): the modem's item
    // runs the command and follows the state of its one action.
    const QList<QMenu*> modem = actions.BuildMenus(menu::Modem, &frame);
    const QList<QMenu*> channel = actions.BuildMenus(menu::Channel, &frame);
    auto commandIn = [](const QList<QMenu*>& menus, int id) -> QAction* {
        for (QMenu* m : menus)
            for (QAction* a : m->actions())
                if (CommandActions::CommandId(a) == id) return a;
        return nullptr;
    };
    QAction* modemSend = commandIn(modem, cmd::TransmitString);
    ASSERT_NE(modemSend, nullptr);
    EXPECT_EQ(commandIn(channel, cmd::TransmitString), actions.Action(cmd::TransmitString));
    EXPECT_EQ(modemSend->text(), QStringLiteral("Transmit Strin&G..."));
    EXPECT_EQ(modemSend->statusTip(), actions.Action(cmd::TransmitString)->statusTip());
    actions.Action(cmd::TransmitString)->setEnabled(false);
    EXPECT_FALSE(modemSend->isEnabled());
    actions.Action(cmd::TransmitString)->setEnabled(true);
    EXPECT_TRUE(modemSend->isEnabled());
    std::vector<int> ran;
    const QMetaObject::Connection spy = QObject::connect(
        &actions, &CommandActions::commandTriggered, [&](int id) { ran.push_back(id); });
    modemSend->trigger();
    QObject::disconnect(spy);
    EXPECT_EQ(ran, (std::vector<int>{cmd::TransmitString}));
    EXPECT_EQ(actions.Action(cmd::FileNew)->text(), QStringLiteral("&New"));
    EXPECT_EQ(actions.Action(cmd::ShowChannels)->statusTip(),
              QStringLiteral("Shows list of existing channels"));
    EXPECT_EQ(actions.Action(cmd::AppExit)->statusTip(),
              QStringLiteral("Quit the application; prompts to save documents"));
    EXPECT_EQ(actions.Action(cmd::FileSave)->toolTip(), QStringLiteral("Save"));
}

TEST_F(MainWindow, HighlightedMenuItemShowsItsPromptOtherwiseTheIdleText) {
    QMenu* file = frame.menuBar()->actions()[0]->menu();
    ASSERT_NE(file, nullptr);
    file->popup(frame.mapToGlobal(QPoint(10, 30)));
    QApplication::processEvents();
    QAction* open = frame.Actions().Action(cmd::FileOpen);
    ASSERT_FALSE(open->isEnabled());
    file->setActiveAction(open);
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("Open an existing document"))
        << "a greyed item shows its prompt too";
    file->setActiveAction(frame.Actions().Action(cmd::AppExit));
    EXPECT_EQ(frame.statusBar()->currentMessage(),
              QStringLiteral("Quit the application; prompts to save documents"));
    file->hide();
    QApplication::processEvents();
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("For Help, press F1"));
    // Someone clearing the pane gets the idle text back too.
    frame.statusBar()->clearMessage();
    EXPECT_EQ(frame.statusBar()->currentMessage(), QStringLiteral("For Help, press F1"));
}

TEST_F(MainWindow, LockIndicatorsFollowTheLockKeys) {
    QLabel* caps = frame.Indicator(LockKey::Caps);
    QLabel* num = frame.Indicator(LockKey::Num);
    QLabel* scroll = frame.Indicator(LockKey::Scroll);
    ASSERT_TRUE(caps && num && scroll);
    EXPECT_EQ(caps->text(), QString());
    locks[LockKey::Caps] = true;
    locks[LockKey::Scroll] = true;
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_CapsLock, Qt::NoModifier);
    QApplication::sendEvent(frame.MdiArea(), &release);
    EXPECT_EQ(caps->text(), QStringLiteral("CAP"));
    EXPECT_EQ(num->text(), QString());
    EXPECT_EQ(scroll->text(), QStringLiteral("SCRL"));
    locks[LockKey::Caps] = false;
    locks[LockKey::Num] = true;
    QKeyEvent other(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(frame.MdiArea(), &other);
    EXPECT_EQ(caps->text(), QStringLiteral("CAP")) << "only the lock keys refresh";
    QKeyEvent numLock(QEvent::KeyRelease, Qt::Key_NumLock, Qt::NoModifier);
    QApplication::sendEvent(frame.MdiArea(), &numLock);
    EXPECT_EQ(caps->text(), QString());
    EXPECT_EQ(num->text(), QStringLiteral("NUM"));
}

TEST(KeyLockState, ReadsTheKeyboardLedsOfTheKernel) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    auto led = [&](const char* name, const char* value) {
        QDir(root.path()).mkpath(QLatin1String(name));
        QFile f(root.filePath(QLatin1String(name) + QStringLiteral("/brightness")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(value);
    };
    led("input3::capslock", "1\n");
    led("input3::numlock", "0\n");
    led("input7::numlock", "0\n");
    led("phy0-led", "1\n");
    const std::string path = root.path().toStdString();
    EXPECT_TRUE(ReadKeyLock(LockKey::Caps, path));
    EXPECT_FALSE(ReadKeyLock(LockKey::Num, path));
    EXPECT_FALSE(ReadKeyLock(LockKey::Scroll, path));
    led("input7::numlock", "1\n");
    EXPECT_TRUE(ReadKeyLock(LockKey::Num, path)) << "any keyboard counts";
    EXPECT_FALSE(ReadKeyLock(LockKey::Caps, path + "/missing"));
}

TEST_F(MainWindow, ActiveWindowChoosesMenuBarAndTitle) {
    CMDIFrameSplitter* channelWindow =
        AddChannelWindow(QStringLiteral("COM1 9600,N,8,1 Name: RiVo321"));
    EXPECT_EQ(frame.ActiveChildFrame(), channelWindow);
    EXPECT_EQ(frame.CurrentMenuId(), menu::Channel);
    EXPECT_EQ(MenuBarTitles(frame),
              (QStringList{"&File", "&Communications", "&Settings", "&View", "&Window", "&Help"}));
    EXPECT_EQ(frame.windowTitle(),
              QStringLiteral("Brevond Communication server - COM1 9600,N,8,1 Name: RiVo321"));
    channelWindow->setWindowTitle(QStringLiteral("Not Connected. Name: RiVo321"));
    EXPECT_EQ(frame.windowTitle(),
              QStringLiteral("Brevond Communication server - Not Connected. Name: RiVo321"));

    auto* list = new CMDIFrameBar(new QWidget, menu::PhoneList);
    list->setWindowTitle(QStringLiteral("phonenum.lst"));
    frame.AddChildFrame(list);
    QApplication::processEvents();
    EXPECT_EQ(frame.CurrentMenuId(), menu::PhoneList);

    list->close();
    channelWindow->close();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 0);
    EXPECT_EQ(frame.CurrentMenuId(), menu::Main);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Brevond Communication server"));
}

TEST_F(MainWindow, ItemsAreEnabledOnlyWhereSomeoneOnTheRouteHandlesThem) {
    for (int id : {57603, 57607, 57635, 57634, 57637, 57643, 57600, 32778, 32776})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {57650, 57651, 57649, 57666, 57664, 57665}) EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(57648)) << "no window to copy";

    RecordingTarget app({57600, 57601, 32776});
    frame.SetApplicationTarget(&app);
    EXPECT_TRUE(Enabled(57600));
    frame.Actions().Action(57600)->trigger();
    frame.Actions().Action(32776)->trigger();
    EXPECT_EQ(app.executed, (std::vector<int>{57600, 32776}));

    CMDIFrameSplitter* w = AddChannelWindow(QStringLiteral("RiVo321"));
    EXPECT_TRUE(Enabled(57607)) << "the buffer view prints";
    EXPECT_FALSE(Enabled(57603)) << "no document target yet";
    EXPECT_EQ(Checked(32785), std::optional<bool>(false));
    EXPECT_EQ(Checked(32786), std::optional<bool>(true));
    RecordingTarget document({57603, 32778});
    w->SetDocumentTarget(&document);
    EXPECT_TRUE(Enabled(57603));
    EXPECT_TRUE(Enabled(32778));
    frame.Actions().Action(32778)->trigger();
    EXPECT_EQ(document.executed, (std::vector<int>{32778}));
    frame.Actions().Action(32785)->trigger();
    EXPECT_TRUE(w->CommView()->Display());
    EXPECT_EQ(Checked(32785), std::optional<bool>(true));
    channel.receive->Receive({'A', 'T', 'Z', '\r', '\n'});
    channel.UpdateAllViews(HintReceive);
    QApplication::processEvents();
    frame.grab().save(GrabPath("main-with-channel"));
    QSplitter* panes = w->Splitter();
    EXPECT_EQ(panes->sizes()[0], panes->width() / 2) << "half, even in a small window";
    EXPECT_FALSE(Enabled(57635)) << "cut stays disabled";
    // A command nobody handles does nothing even when asked directly.
    EXPECT_FALSE(frame.RouteCommand(57637));
    w->SetDocumentTarget(nullptr);
    frame.SetApplicationTarget(nullptr);
}

TEST_F(MainWindow, ToolbarCommandHidesThePhoneListBarNotTheMainToolbar) {
    EXPECT_EQ(Checked(59392), std::optional<bool>(true));
    frame.Actions().Action(59392)->trigger();
    EXPECT_TRUE(frame.ToolBar()->isHidden());
    EXPECT_EQ(Checked(59392), std::optional<bool>(false));
    frame.Actions().Action(59392)->trigger();
    EXPECT_FALSE(frame.ToolBar()->isHidden());

    auto* list = new CMDIFrameBar(new QWidget, menu::PhoneList);
    frame.AddChildFrame(list);
    QApplication::processEvents();
    frame.Actions().Action(59392)->trigger();
    EXPECT_TRUE(list->TabBar()->isHidden());
    EXPECT_FALSE(frame.ToolBar()->isHidden());
    EXPECT_EQ(Checked(59392), std::optional<bool>(false));

    frame.Actions().Action(59393)->trigger();
    EXPECT_TRUE(frame.statusBar()->isHidden());
    EXPECT_EQ(Checked(59393), std::optional<bool>(false));
}

TEST_F(MainWindow, WindowCommandsArrangeTheChildWindows) {
    CMDIFrameSplitter* a = AddChannelWindow(QStringLiteral("one"));
    CMDIFrameSplitter* b = AddChannelWindow(QStringLiteral("two"));
    frame.Actions().Action(cmd::WindowTile)->trigger();
    EXPECT_FALSE(a->geometry().intersects(b->geometry()));
    frame.Actions().Action(cmd::WindowCascade)->trigger();
    EXPECT_TRUE(a->geometry().intersects(b->geometry()));
    EXPECT_NE(a->geometry().topLeft(), b->geometry().topLeft());

    int made = 0;
    frame.SetNewWindowFactory([&](CMDIChildFrame& active) -> CMDIChildFrame* {
        ++made;
        auto* copy = new CMDIFrameSplitter(&channel, active.MenuId());
        copy->setWindowTitle(active.windowTitle() + QStringLiteral(":2"));
        frame.AddChildFrame(copy);
        return copy;
    });
    EXPECT_TRUE(Enabled(cmd::WindowNew));
    frame.Actions().Action(cmd::WindowNew)->trigger();
    EXPECT_EQ(made, 1);
    ASSERT_EQ(frame.MdiArea()->subWindowList().size(), 3);
    EXPECT_EQ(frame.ActiveChildFrame()->windowTitle(), QStringLiteral("two:2"));

    a->showMinimized();
    b->showMinimized();
    QApplication::processEvents();
    frame.Actions().Action(cmd::WindowArrange)->trigger();
    const int bottom = frame.MdiArea()->viewport()->height();
    EXPECT_EQ(a->geometry().bottom() + 1, bottom);
    EXPECT_EQ(b->geometry().bottom() + 1, bottom);
    EXPECT_FALSE(a->geometry().intersects(b->geometry()));
}

TEST_F(MainWindow, ActivatingAMinimisedWindowRestoresIt) {
    CMDIFrameSplitter* a = AddChannelWindow(QStringLiteral("one"));
    CMDIFrameSplitter* b = AddChannelWindow(QStringLiteral("two"));
    a->showMinimized();
    frame.ActivateFrame(b);
    QApplication::processEvents();
    ASSERT_EQ(frame.ActiveChildFrame(), b);
    ASSERT_TRUE(a->isMinimized());
    frame.ActivateFrame(a);
    EXPECT_FALSE(a->isMinimized());
    EXPECT_EQ(frame.ActiveChildFrame(), a);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Brevond Communication server - one"));
}

TEST_F(MainWindow, DroppedFilesAreReportedInOrder) {
    frame.DragAcceptFiles(true);
    EXPECT_TRUE(frame.acceptDrops());
    QStringList got;
    QObject::connect(&frame, &CFrameMain::filesDropped, [&](const QStringList& p) { got = p; });
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/home/u/my channel.ccf"), QUrl("https://example.org/x.ccf"),
                   QUrl::fromLocalFile("/home/u/phonenum.lst")});
    const QPoint at = frame.MdiArea()->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame, &drop);
    EXPECT_EQ(got, (QStringList{"/home/u/my channel.ccf", "/home/u/phonenum.lst"}));

    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    QDragEnterEvent refuse(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refuse.setAccepted(false);
    QApplication::sendEvent(&frame, &refuse);
    EXPECT_FALSE(refuse.isAccepted());
}

TEST_F(MainWindow, RecentFilesReplaceThePlaceholder) {
    QAction* first = frame.Actions().Action(cmd::FileMru1);
    EXPECT_EQ(first->text(), QStringLiteral("Recent File"));
    EXPECT_FALSE(Enabled(cmd::FileMru1));
    RecordingTarget app({57616, 57617, 57618, 57619});
    frame.SetApplicationTarget(&app);
    EXPECT_FALSE(Enabled(cmd::FileMru1)) << "the placeholder stays greyed";
    frame.SetRecentFiles({QStringLiteral("/home/u/a.ccf"), QStringLiteral("/home/u/b.mcf")});
    EXPECT_EQ(first->text(), QStringLiteral("&1 /home/u/a.ccf"));
    EXPECT_EQ(frame.Actions().Action(57617)->text(), QStringLiteral("&2 /home/u/b.mcf"));
    EXPECT_TRUE(frame.Actions().Action(57617)->isVisible());
    EXPECT_FALSE(frame.Actions().Action(57618)->isVisible());
    EXPECT_TRUE(Enabled(57617));
    frame.Actions().Action(57617)->trigger();
    EXPECT_EQ(app.executed, (std::vector<int>{57617}));
    frame.SetRecentFiles({});
    EXPECT_EQ(first->text(), QStringLiteral("Recent File"));
    EXPECT_FALSE(frame.Actions().Action(57617)->isVisible());
    frame.SetApplicationTarget(nullptr);
}

TEST_F(MainWindow, ChildWindowMayRefuseToClose) {
    CMDIFrameSplitter* w = AddChannelWindow(QStringLiteral("held"));
    bool held = true;
    w->SetCloseGuard([&] { return !held; });
    EXPECT_FALSE(w->close());
    EXPECT_EQ(frame.MdiArea()->subWindowList().size(), 1);
    held = false;
    EXPECT_TRUE(w->close());
}

TEST_F(MainWindow, AboutBoxShowsNameAndVersion) {
    QStringList texts;
    QString caption;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        for (QLabel* l : box->findChildren<QLabel*>()) texts << l->text();
        auto* buttons = box->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    EXPECT_TRUE(frame.RouteCommand(cmd::AppAbout));
    EXPECT_EQ(caption, QStringLiteral("About Tolvane"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Brevond Communication server")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 0.40")));
}

TEST(AppStrings, ProgramTextsWinOverTheLibrarysAndPromptsSplit) {
    EXPECT_EQ(AppText(str::NoBuffer), QStringLiteral("This channel has no buffer "));
    EXPECT_EQ(AppText(57345), QStringLiteral("For Help, press F1"));
    EXPECT_EQ(PromptText(57600), QStringLiteral("Create a new document"));
    EXPECT_EQ(TipText(57600), QStringLiteral("New"));
    EXPECT_EQ(TipText(32776), QString());
    EXPECT_TRUE(AppText(1).isEmpty());

    static const tfw::StringEntry library[] = {{61255, "Dial Entry Settings"},
                                               {61296, "Items were not selected"}};
    tfw::StringRegistration lib(tfw::StringSource::Library, library);
    EXPECT_EQ(AppText(61255), QStringLiteral("Dial"));
    EXPECT_EQ(AppText(61296), QStringLiteral("Items were not selected"));
    EXPECT_EQ(tfw::LoadString(61255), "Dial Entry Settings") << "before the program registers";
    {
        auto own = RegisterAppStrings();
        EXPECT_EQ(tfw::LoadString(61255), "Dial");
        EXPECT_EQ(tfw::LoadString(3),
                  std::string("\nRiVo32\nVoVavu Document\nVoVavu Files (*.ccf)\n.ccf\n"
                              "RiVo32.Document\nVoVavu Document"));
    }
    EXPECT_EQ(tfw::LoadString(61255), "Dial Entry Settings");
}

}  // namespace
}  // namespace tolvan::app::test
