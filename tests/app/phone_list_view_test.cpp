// The phone-list window on real widgets: the right-button popup, the entry sheet of Add,
// Insert and Properties, Delete with its question, rows re-cut when a column border is
// dragged, and a .lst file opened by the server showing its rows.
#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_bar.h"
#include "app/phone_list_template.h"
#include "app/tab_bar.h"
#include "app/tolvan_app.h"
#include "app/view_phone_list.h"
#include "framework/doc_manager.h"
#include "platform/device_map.h"
#include "platform/message_box.h"
#include "qt_test_support.h"
#include "setup/records/comm_param.h"
#include "setup/dial_list.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"
#include "setup/ps_settings_port.h"
#include "tests/support/next_sheet.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <functional>
#include <iterator>

namespace tolvan::app::test {
namespace {

// A .lst file of entries "<comment>" with dial strings 100, 101, ...
std::string WriteList(const QTemporaryDir& dir, const char* name, const QStringList& comments,
                      const char* settings = "9600,N,8,1,F") {
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < comments.size(); ++i)
        out << i + 1 << ' ' << comments[i].toStdString() << "\r\n     " << 100 + i << "\r\n     "
            << settings << "\r\n";
    return path;
}

class PhoneListWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedParams = *DLLGetCommParam();
        previousHook = kerdal::SetPageMessageHook([this](const kerdal::MessageRequest& r) {
            messages << r.text;
            return answer;
        });
        frame.resize(1000, 600);
        frame.show();
    }
    void TearDown() override {
        kerdal::SetPageMessageHook(previousHook);
        *DLLGetCommParam() = savedParams;
    }

    // Opens a list with these comments in a window of the main frame.
    void Open(const QStringList& comments) {
        const std::string path = WriteList(dir, "t.lst", comments);
        doc = dynamic_cast<CDocDialList*>(tmpl->OpenDocumentFile(path.c_str(), true));
        ASSERT_NE(doc, nullptr);
        window = nullptr;
        for (QMdiSubWindow* w : frame.MdiArea()->subWindowList())
            if (auto* bar = qobject_cast<CMDIFrameBar*>(w);
                bar && bar->View() &&
                dynamic_cast<CViewPhoneList*>(bar->View())->GetDocument() == doc)
                window = bar;
        ASSERT_NE(window, nullptr);
        view = qobject_cast<CViewPhoneList*>(window->View());
        window->resize(900, 400);
        QApplication::processEvents();
    }
    QStringList Comments() const {
        QStringList out;
        for (int i = 0; i < doc->GetListSize(); ++i)
            out << QString::fromStdString(doc->GetNode(i)->strComment);
        return out;
    }
    // The text a row is drawn from.
    QString RowText(int row) const {
        QString text;
        QColor fg, bg;
        view->GetItemText(row, text, fg, bg);
        return text;
    }
    void Select(std::initializer_list<int> rows) {
        view->clearSelection();
        for (int r : rows) view->item(r)->setSelected(true);
    }
    bool MenuEnabled(int id) {
        frame.UpdateCommandUI();
        return frame.Actions().Action(id)->isEnabled();
    }
    // Texts of the popup that a right click at the row's centre (or below the rows) offers.
    QStringList PopupAt(QPoint pos) {
        QStringList texts;
        bool shown = false;
        QTimer::singleShot(0, view, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            shown = true;
            for (QAction* a : menu->actions()) texts << a->text();
            menu->close();
        });
        Press(view->viewport(), pos, Qt::RightButton);
        EXPECT_TRUE(shown) << "no popup";
        return texts;
    }
    // Works the entry sheet that the next command opens, then presses OK (Cancel when
    // accept is false, or when OK is refused so a test cannot hang).
    void OnNextSheet(std::function<void(kerdal::PropertySheet&)> work, bool accept = true) {
        tolvan::test::OnNextSheet(
            view, std::move(work),
            accept ? tolvan::test::AfterWork::PressOk : tolvan::test::AfterWork::PressCancel);
    }
    static void FillEntryPage(kerdal::PropertySheet& sheet, const char* comment, const char* dial) {
        kerdal::PropertyPage* page = sheet.GetPage(0);
        static_cast<QLineEdit*>(page->Control(1048))->setText(QString::fromLatin1(comment));
        static_cast<QLineEdit*>(page->Control(1049))->setText(QString::fromLatin1(dial));
    }

    AndCommParam savedParams;
    kerdal::MessageHook previousHook;
    QStringList messages;
    int answer = kerdal::kIdYes;
    QTemporaryDir dir;
    std::unique_ptr<tfw::CDocTemplate> tmpl = MakePhoneListTemplate([this] { return &frame; });
    CFrameMain frame;
    CDocDialList* doc = nullptr;
    CMDIFrameBar* window = nullptr;
    CViewPhoneList* view = nullptr;
};

TEST_F(PhoneListWindow, RightButtonOffersAddOnEmptyListAndAllFourOnARow) {
    Open({});
    EXPECT_EQ(view->count(), 0);
    EXPECT_EQ(PopupAt({40, 20}), QStringList{"&Add..."});
    EXPECT_TRUE(MenuEnabled(cmd::ListAdd));
    EXPECT_FALSE(MenuEnabled(cmd::ListInsert));
    EXPECT_FALSE(MenuEnabled(cmd::ListProperties));
    // The accelerator path while nothing is selected: the message and nothing else.
    view->ExecuteCommand(cmd::ListDelete);
    view->ExecuteCommand(cmd::ListProperties);
    EXPECT_EQ(messages, (QStringList{"Items were not selected", "Items were not selected"}));

    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Open({"zero", "one", "two", "three"});
    ASSERT_EQ(view->count(), 4);
    Select({0, 1, 3});
    const QRect row2 = view->visualItemRect(view->item(2));
    EXPECT_EQ(PopupAt(row2.center()),
              (QStringList{"&Add...", "&Insert...", "&Delete...", "&Properties..."}));
    EXPECT_EQ(view->SelectedRows(), std::vector<int>{2}) << "only the clicked row stays selected";
    EXPECT_TRUE(MenuEnabled(cmd::ListDelete));
    // Below the last row there is no row.
    EXPECT_EQ(PopupAt({40, view->visualItemRect(view->item(3)).bottom() + 20}),
              QStringList{"&Add..."});
}

TEST_F(PhoneListWindow, AddStartsFromTheDefaultsAndAppendsTheEntry) {
    Open({"first"});
    AndCommParam& params = *DLLGetCommParam();
    params.SetCurBaudRate(19200);
    params.SetCurParity('E');
    params.SetCurStopBit(2);

    // Cancel changes nothing.
    OnNextSheet([](kerdal::PropertySheet& sheet) { FillEntryPage(sheet, "x", "1"); }, false);
    view->ExecuteCommand(cmd::ListAdd);
    EXPECT_EQ(doc->GetListSize(), 1);
    EXPECT_FALSE(doc->IsModified());

    OnNextSheet([](kerdal::PropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "Dial");
        ASSERT_EQ(sheet.GetPageCount(), 2);
        FillEntryPage(sheet, "Office", "5551234");
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto* port = static_cast<CPSSettingsPort*>(sheet.GetPage(1));
        for (int id : {1026, 1027, 1028}) {
            auto* box = static_cast<QCheckBox*>(port->Control(id));
            EXPECT_FALSE(box->isChecked()) << id;
            EXPECT_FALSE(box->isEnabled()) << id;
        }
    });
    view->ExecuteCommand(cmd::ListAdd);
    ASSERT_EQ(doc->GetListSize(), 2);
    EXPECT_TRUE(doc->IsModified());
    ASSERT_EQ(view->count(), 2);
    const tagDialEntry expected{"Office", "5551234", 9600, 'N', 8, 1, 'F'};
    EXPECT_EQ(*doc->GetNode(1), expected);
    // The row's baud, parity, word length and stop bits columns.
    std::vector<QString> cells;
    for (const auto& piece : view->CutRow(RowText(1), view->visualItemRect(view->item(1))))
        cells.push_back(piece.text);
    EXPECT_EQ(cells, (std::vector<QString>{"Office", "5551234", "9600", "N", "8", "1", "F"}));
}

TEST_F(PhoneListWindow, InsertGoesBeforeTheFirstSelectedRowAndPropertiesEditsIt) {
    Open({"r0", "r1", "r2", "r3", "r4", "r5"});
    Select({2, 5});
    OnNextSheet([](kerdal::PropertySheet& sheet) { FillEntryPage(sheet, "new", "9"); });
    view->ExecuteCommand(cmd::ListInsert);
    EXPECT_EQ(Comments(), (QStringList{"r0", "r1", "new", "r2", "r3", "r4", "r5"}));
    ASSERT_EQ(view->count(), 7);
    EXPECT_TRUE(RowText(2).startsWith("new\t9\t9600\tN\t8\t1\tF"));
    EXPECT_TRUE(RowText(3).startsWith("r2\t102\t"));

    // Properties edits the first selected row; a baud rate outside the table leaves the
    // port page on the last current one.
    tagDialEntry odd = *doc->GetNode(4);
    odd.lBaudRate = 12345;
    odd.chParity = 'E';
    doc->SetNode(4, &odd);
    AndCommParam& params = *DLLGetCommParam();
    params.SetCurBaudRate(4800);
    Select({4, 6});
    OnNextSheet([&](kerdal::PropertySheet& sheet) {
        auto* entryPage = sheet.GetPage(0);
        EXPECT_EQ(static_cast<QLineEdit*>(entryPage->Control(1048))->text(), "r3");
        ASSERT_TRUE(sheet.SetActivePage(1));
        auto* port = static_cast<CPSSettingsPort*>(sheet.GetPage(1));
        EXPECT_EQ(port->m_nBaudRateIdx, params.GetCurBaudRate());
        EXPECT_EQ(params.GetBaudRate(params.GetCurBaudRate()), 4800);
        EXPECT_EQ(params.GetParity(params.GetCurParity()), 'E');
        ASSERT_TRUE(sheet.SetActivePage(0));
        FillEntryPage(sheet, "r3 edited", "303");
    });
    view->ExecuteCommand(cmd::ListProperties);
    const tagDialEntry edited{"r3 edited", "303", 4800, 'E', 8, 1, 'F'};
    EXPECT_EQ(*doc->GetNode(4), edited);
    EXPECT_EQ(doc->GetNode(6)->strComment, "r5");
}

TEST_F(PhoneListWindow, DeleteAsksThenRemovesEverySelectedRow) {
    Open({"r0", "r1", "r2", "r3", "r4"});
    Select({1, 3});
    answer = kerdal::kIdNo;
    view->ExecuteCommand(cmd::ListDelete);
    EXPECT_EQ(messages, QStringList{"Do you really want to delete the selected items?"});
    EXPECT_EQ(doc->GetListSize(), 5);
    EXPECT_EQ(view->count(), 5);

    answer = kerdal::kIdYes;
    Select({1, 3});
    view->ExecuteCommand(cmd::ListDelete);
    EXPECT_EQ(messages.size(), 2) << "asked once";
    EXPECT_EQ(Comments(), (QStringList{"r0", "r2", "r4"}));
    ASSERT_EQ(view->count(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(RowText(row).startsWith(QStringLiteral("r%1\t").arg(row * 2))) << row;
}

TEST_F(PhoneListWindow, ColumnDragRecutsEveryRowAndClipsLongFields) {
    Open({"A", "WWWWWWWWWWWWWWWWWWWWWWWWWWWW", "B"});
    CTabBar* bar = window->TabBar();
    EXPECT_EQ(view->ColumnEdges(), (std::vector<int>{100, 200, 300, 400, 500, 600}));
    const QColor ink(Qt::black);
    auto inkIn = [&](const QImage& image, int row, int x0, int x1) {
        QRect r = view->visualItemRect(view->item(row)).adjusted(0, 2, 0, -2);
        r.setLeft(x0);
        r.setRight(x1);
        return CountColour(image, r, ink);
    };

    const QImage before = view->viewport()->grab().toImage();
    for (int row = 0; row < 3; ++row)
        EXPECT_GT(inkIn(before, row, 102, 160), 0) << "dial string, row " << row;
    // The long comment ends 2 pixels left of its border; the dial string starts 2 right of it.
    EXPECT_GT(inkIn(before, 1, 60, 97), 0);
    EXPECT_EQ(inkIn(before, 1, 98, 101), 0);

    // Drag the comment's border to 250 and let go: the bar sends the edges, the view redraws.
    Press(bar, {100, bar->height() / 2});
    Move(bar, {250, bar->height() / 2}, Qt::LeftButton);
    EXPECT_EQ(view->ColumnEdges().front(), 100) << "nothing is sent during the drag";
    Release(bar, {250, bar->height() / 2});
    EXPECT_EQ(view->ColumnEdges(), (std::vector<int>{250, 350, 450, 550, 650, 750}));
    QApplication::processEvents();
    const QImage after = view->viewport()->grab().toImage();
    after.save(GrabPath("phone-list-dragged"));
    for (int row = 0; row < 3; ++row) {
        EXPECT_GT(inkIn(after, row, 252, 310), 0) << "dial string moved, row " << row;
        EXPECT_EQ(inkIn(after, row, 248, 251), 0) << "gap at the border, row " << row;
    }
    EXPECT_EQ(inkIn(after, 0, 20, 247), 0) << "short comment leaves its column empty";
    EXPECT_GT(inkIn(after, 1, 120, 247), 0) << "long comment shown in the wider column";
}

TEST(PhoneListServer, OpeningALstFileShowsAPhoneListWindowWithItsRows) {
    QTemporaryDir dir;
    const std::string list =
        WriteList(dir, "phones.lst", {"Office", "Home", "Lab"}, "2400,E,7,2,H");
    const std::string profile = dir.filePath("t.ini").toStdString();
    std::ofstream(profile) << "[Ports]\nAuto=0\n";
    plat::DeviceMap::Clear();
    {
        CAppComm app;
        CommandLine line;
        line.profilePath = profile;
        line.document = list;
        ASSERT_TRUE(app.InitInstance(line, {{}, false, false}));

        QStringList newNames;
        for (tfw::CDocTemplate* t : tfw::TheDocManager().GetTemplates())
            newNames << QString::fromStdString(t->GetDocString(tfw::CDocTemplate::fileNewName));
        ASSERT_EQ(newNames.size(), 4);
        EXPECT_EQ(newNames[3], "Phone List Document");

        const auto windows = app.MainFrame()->MdiArea()->subWindowList();
        ASSERT_EQ(windows.size(), 1);
        auto* window = qobject_cast<CMDIFrameBar*>(windows.front());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->MenuId(), menu::PhoneList);
        EXPECT_EQ(window->windowTitle(), "phones.lst");
        auto* view = qobject_cast<CViewPhoneList*>(window->View());
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->count(), 3);
        QString text;
        QColor fg, bg;
        view->GetItemText(1, text, fg, bg);
        EXPECT_EQ(text, "Home\t101\t2400\tE\t7\t2\tH");
        EXPECT_EQ(fg, QColor(Qt::black));
        EXPECT_EQ(bg, QColor(Qt::white));
        EXPECT_TRUE(app.Channels().empty()) << "a phone list is no channel";

        app.MainFrame()->resize(900, 400);
        window->resize(860, 300);
        app.MainFrame()->show();
        QApplication::processEvents();

        // A changed list is not lost when its window closes: Cancel keeps the window, File
        // Save writes the file, and then the window closes without asking.
        // The view's own question comes through the setup library's box, the question of the
        // closing window through the framework's (the one exit asks with too).
        QStringList asked;
        std::vector<int> answers{kerdal::kIdYes, kerdal::kIdCancel};
        const auto answer = [&] {
            const int a = answers.empty() ? kerdal::kIdCancel : answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            return a;
        };
        std::optional<kerdal::ScopedPageMessageHook> hook(std::in_place,
                                                          [&](const kerdal::MessageRequest& r) {
                                                              asked << r.text;
                                                              return answer();
                                                          });
        std::optional<plat::ScopedMessageBoxHook> boxHook(
            std::in_place, [&](const std::string& text, const std::string&, uint32_t f) {
                asked << QString::fromStdString(text);
                EXPECT_EQ(f & 0x0F, plat::MB_YESNOCANCEL);
                return answer();
            });
        view->item(0)->setSelected(true);
        view->ExecuteCommand(cmd::ListDelete);
        EXPECT_FALSE(window->close());
        EXPECT_EQ(asked.size(), 2);
        EXPECT_EQ(asked.value(1), "Save changes to " + QString::fromStdString(list) + "?");
        EXPECT_TRUE(app.MainFrame()->RouteCommand(cmd::FileSave));
        EXPECT_TRUE(window->close());
        EXPECT_EQ(asked.size(), 2);
        hook.reset();
        boxHook.reset();
        std::ifstream saved(list, std::ios::binary);
        const std::string stored((std::istreambuf_iterator<char>(saved)),
                                 std::istreambuf_iterator<char>());
        EXPECT_EQ(stored,
                  "1 Home\r\n     101\r\n     2400,E,7,2,H\r\n2 Lab\r\n     102\r\n     "
                  "2400,E,7,2,H\r\n");
        app.ExitInstance();
    }
    plat::DeviceMap::Clear();
}

}  // namespace
}  // namespace tolvan::app::test
