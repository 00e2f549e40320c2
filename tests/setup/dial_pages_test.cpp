// Phone-number and dial-entry pages in real sheets on the offscreen platform, with real
// phone-list files in a temporary folder and the host's phone-list template registered.

#include "dial_list_support.h"
#include "page_test_support.h"

#include "setup/records/comm_param.h"
#include "setup/dial_list.h"
#include "setup/dlg_dial_number.h"
#include "setup/library_strings.h"
#include "setup/property_sheet.h"
#include "setup/ps_dial_entry.h"
#include "tests/support/next_sheet.h"

#include "framework/doc_manager.h"
#include "framework/doc_template.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

const QString kNothingSelected = QStringLiteral("Items were not selected");
const QString kConfirmDelete = QStringLiteral("Do you really want to delete the selected items?");

using dial_test::Entry;
using dial_test::NewList;

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class DialPagesTest : public page_test::PageTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // The host registers the phone-list template under the library's template string.
        tfw::TheDocManager().AddDocTemplate(
            std::make_unique<tfw::CDocTemplate>(kIdsDialListTemplate, classCDocDialList));
        AndCommParam* params = DLLGetCommParam();
        params->SetCurBaudRate(9600);
        params->SetCurParity('N');
        params->SetCurWrdLen(8);
        params->SetCurStopBit(1);
    }
    void TearDown() override { tfw::TheDocManager().RemoveAllTemplates(); }

    QString PathOf(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }

    QString WriteList(const std::vector<tagDialEntry>& entries, const char* name = "phonenum.lst") {
        auto list = dial_test::ListOf(entries);
        const QString path = PathOf(name);
        EXPECT_TRUE(list->OnSaveDocument(path.toStdString()));
        return path;
    }

    static std::vector<tagDialEntry> ReadList(const QString& path) {
        auto list = NewList();
        EXPECT_TRUE(list->OnOpenDocument(path.toStdString()));
        std::vector<tagDialEntry> entries;
        for (int i = 0; i < list->GetListSize(); ++i) entries.push_back(*list->GetNode(i));
        return entries;
    }

    static QStringList Items(const QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
        return items;
    }

    static QStringList Selected(const QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->isSelected()) items << list->item(i)->text();
        return items;
    }

    // Works the entry sheet that the next button opens modally, then accepts it (falling
    // back to Cancel so that a refused sheet cannot hang the test).
    void OnNextEntrySheet(QObject* guard, std::function<void(PropertySheet&)> work) {
        tolvan::test::OnNextSheet(guard, std::move(work));
    }

    QTemporaryDir dir;
};

// The page alone in a running sheet, as the modem channel shows it.
// `prepare` sets what a creator sets before the page is first shown.
struct RunningPage {
    explicit RunningPage(const QString& file,
                         const std::function<void(CDlgDialNumber&)>& prepare = {})
        : page(file) {
        if (prepare) prepare(page);
        sheet.AddPage(&page);
        sheet.Open();
    }
    QListWidget* List() { return Ctl<QListWidget>(&page, CDlgDialNumber::IDC_NUMBERS); }
    void Click(int id) { Ctl<QPushButton>(&page, id)->click(); }

    CDlgDialNumber page;
    PropertySheet sheet{QStringLiteral("Dial")};
};

TEST_F(DialPagesTest, MissingListFileIsCreatedEmptyAndUntouchedListIsNotOfferedForSaving) {
    const QString path = PathOf("new.lst");
    ASSERT_FALSE(QFileInfo::exists(path));
    {
        RunningPage run(path);
        EXPECT_TRUE(QFileInfo::exists(path));
        EXPECT_EQ(QFileInfo(path).size(), 0);
        EXPECT_EQ(run.List()->count(), 0);
        ASSERT_NE(run.page.m_pDoc, nullptr);
        EXPECT_EQ(run.page.m_pDoc->GetDocTemplate(),
                  tfw::TheDocManager().FindTemplateByDocName("RuVido"));
        EXPECT_FALSE(Ctl<QPushButton>(&run.page, CDlgDialNumber::IDC_ADVANCED)->isEnabled());
        EXPECT_TRUE(run.sheet.PressOk());
        // The document lives only while the page runs.
        EXPECT_EQ(run.page.m_pDoc, nullptr);
        EXPECT_EQ(tfw::TheDocManager().GetOpenDocumentCount(), 0u);
    }
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(DialPagesTest, ABareListNameLivesInTheUsersDataFolderAndAFailedCreateIsTold) {
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const QString data = PathOf("data");
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    {
        RunningPage run(QStringLiteral("phonenum.lst"));
        EXPECT_TRUE(QFileInfo::exists(data + QStringLiteral("/tolvan32/phonenum.lst")));
        ASSERT_NE(run.page.m_pDoc, nullptr);
        EXPECT_EQ(QString::fromStdString(run.page.m_pDoc->GetPathName()),
                  data + QStringLiteral("/tolvan32/phonenum.lst"));
        EXPECT_TRUE(run.sheet.PressOk());
    }
    EXPECT_TRUE(messages.requests.empty());

    // A data folder that is a file: the list cannot be made, and the user is told.
    QFile blocker(PathOf("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", PathOf("blocked").toLocal8Bit());
    {
        RunningPage run(QStringLiteral("phonenum.lst"));
        EXPECT_TRUE(run.sheet.PressOk());
    }
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
    ASSERT_EQ(messages.requests.size(), 1u);
}

TEST_F(DialPagesTest, CommentsAreSortedAndTheDialStringPreselectsItsEntry) {
    const QString path =
        WriteList({Entry("Zeta", "111", 2400, 'E', 7, 2, 'H'), Entry("alpha", "222"),
                   Entry("Mid", "333", 19200, 'O', 7, 2, 'H')});
    RunningPage run(path, [](CDlgDialNumber& p) { p.m_strDialString = QStringLiteral("111"); });
    EXPECT_EQ(Items(run.List()), (QStringList{"alpha", "Mid", "Zeta"}));
    EXPECT_EQ(Selected(run.List()), QStringList{"Zeta"});
    ASSERT_TRUE(run.sheet.PressOk());
    EXPECT_EQ(run.page.m_strSelComment, QStringLiteral("Zeta"));
    EXPECT_EQ(run.page.m_strDialString, QStringLiteral("111"));
    EXPECT_EQ(run.page.m_lBaudRate, 2400);
    EXPECT_EQ(run.page.m_chParity, 'E');
    EXPECT_EQ(run.page.m_nWordLen, 7);
    EXPECT_EQ(run.page.m_nStopBits, 2);
    EXPECT_EQ(run.page.m_chDuplex, 'H');

    // No entry with that dial string: the alphabetically first comment is chosen.
    RunningPage other(path, [](CDlgDialNumber& p) { p.m_strDialString = QStringLiteral("999"); });
    EXPECT_EQ(Selected(other.List()), QStringList{"alpha"});
    ASSERT_TRUE(other.sheet.PressOk());
    EXPECT_EQ(other.page.m_strDialString, QStringLiteral("222"));
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(DialPagesTest, CommentsDifferingOnlyInCaseSelectTheExactOne) {
    const QString path = WriteList({Entry("home", "1"), Entry("HOME", "2")});
    RunningPage run(path, [](CDlgDialNumber& p) { p.m_strDialString = QStringLiteral("2"); });
    EXPECT_EQ(Selected(run.List()), QStringList{"HOME"});
    ASSERT_TRUE(run.sheet.PressOk());
    EXPECT_EQ(run.page.m_strDialString, QStringLiteral("2"));
}

TEST_F(DialPagesTest, EditAndDeleteWithNothingSelectedWarnAndChangeNothing) {
    const QString path = WriteList({Entry("Office", "555", 4800)});
    const QByteArray before = ReadBytes(path);
    RunningPage run(path, [](CDlgDialNumber& p) {
        p.m_lBaudRate = 115200;
        p.m_chDuplex = 'H';
    });
    run.List()->clearSelection();

    run.Click(CDlgDialNumber::IDC_EDIT);
    run.Click(CDlgDialNumber::IDC_DELETE);
    EXPECT_EQ(messages.Texts(), (std::vector<QString>{kNothingSelected, kNothingSelected}));
    EXPECT_EQ(messages.requests.at(0).icon, kerdal::MessageIcon::Warning);
    EXPECT_EQ(Items(run.List()), QStringList{"Office"});
    EXPECT_EQ(run.page.m_pDoc->GetListSize(), 1);
    EXPECT_FALSE(run.page.m_pDoc->IsModified());

    // Accepted with nothing chosen: the creator's values stay.
    ASSERT_TRUE(run.sheet.PressOk());
    EXPECT_TRUE(run.page.m_strSelComment.isEmpty());
    EXPECT_TRUE(run.page.m_strDialString.isEmpty());
    EXPECT_EQ(run.page.m_lBaudRate, 115200);
    EXPECT_EQ(run.page.m_chDuplex, 'H');
    EXPECT_EQ(messages.requests.size(), 2u) << "an unmodified list must not be offered for saving";
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(DialPagesTest, DeletingTwoSelectedEntriesAsksOnceAndRemovesBothFromTheFile) {
    const QString path = WriteList({Entry("A", "1"), Entry("B", "2"), Entry("C", "3")});
    page_test::MessageRecorder yes(kerdal::kIdYes);
    RunningPage run(path);
    run.List()->item(0)->setSelected(true);
    run.List()->item(2)->setSelected(true);
    ASSERT_EQ(Selected(run.List()), (QStringList{"A", "C"}));

    run.Click(CDlgDialNumber::IDC_DELETE);
    EXPECT_EQ(yes.Texts(), std::vector<QString>{kConfirmDelete});
    EXPECT_EQ(yes.requests.at(0).buttons, kerdal::MessageButtons::YesNo);
    EXPECT_EQ(Items(run.List()), QStringList{"B"});
    EXPECT_EQ(Selected(run.List()), QStringList{"B"});
    ASSERT_EQ(run.page.m_pDoc->GetListSize(), 1);
    EXPECT_EQ(run.page.m_pDoc->GetNode(0)->strComment, "B");

    // Closing offers the changed list for saving; Yes writes it back to its file.
    ASSERT_TRUE(run.sheet.PressOk());
    ASSERT_EQ(yes.requests.size(), 2u);
    EXPECT_EQ(yes.requests[1].text, QStringLiteral("Save changes to %1?").arg(path));
    EXPECT_EQ(yes.requests[1].buttons, kerdal::MessageButtons::YesNoCancel);
    EXPECT_EQ(ReadList(path), (std::vector<tagDialEntry>{Entry("B", "2")}));
}

TEST_F(DialPagesTest, DeleteAnsweredNoKeepsEverything) {
    const QString path = WriteList({Entry("A", "1"), Entry("B", "2")});
    page_test::MessageRecorder no(kerdal::kIdNo);
    RunningPage run(path);
    run.List()->selectAll();
    run.Click(CDlgDialNumber::IDC_DELETE);
    EXPECT_EQ(no.Texts(), std::vector<QString>{kConfirmDelete});
    EXPECT_EQ(Items(run.List()), (QStringList{"A", "B"}));
    EXPECT_EQ(run.page.m_pDoc->GetListSize(), 2);
    EXPECT_FALSE(run.page.m_pDoc->IsModified());
    run.sheet.PressCancel();
}

TEST_F(DialPagesTest, SharedCommentsAreDeletedOneLookupAtATime) {
    const QString path = WriteList({Entry("Home", "1"), Entry("Work", "2"), Entry("Home", "3")});
    page_test::MessageRecorder yes(kerdal::kIdYes);
    RunningPage run(path);
    ASSERT_EQ(Items(run.List()), (QStringList{"Home", "Home", "Work"}));
    run.List()->item(0)->setSelected(true);
    run.List()->item(1)->setSelected(true);
    run.List()->item(2)->setSelected(false);
    run.Click(CDlgDialNumber::IDC_DELETE);
    ASSERT_EQ(run.page.m_pDoc->GetListSize(), 1);
    EXPECT_EQ(run.page.m_pDoc->GetNode(0)->strDialString, "2");
    run.sheet.PressCancel();  // the save question is answered Yes
    EXPECT_EQ(ReadList(path), (std::vector<tagDialEntry>{Entry("Work", "2")}));
}

TEST_F(DialPagesTest, AddedEntryTakesTheSheetsValuesAndNoToSavingLeavesTheFileAsItWas) {
    const QString path = WriteList({Entry("Office", "555")});
    const QByteArray before = ReadBytes(path);
    AndCommParam* params = DLLGetCommParam();
    params->SetCurBaudRate(38400);
    params->SetCurParity('E');
    params->SetCurWrdLen(7);
    params->SetCurStopBit(2);

    page_test::MessageRecorder no(kerdal::kIdNo);
    RunningPage run(path);
    OnNextEntrySheet(&run.page, [](PropertySheet& sheet) {
        EXPECT_EQ(sheet.Caption(), QStringLiteral("Dial Entry Settings"));
        ASSERT_EQ(sheet.GetPageCount(), 2);
        QWidget* entryPage = sheet.GetPage(0);
        EXPECT_EQ(entryPage->findChild<QLineEdit*>("1048")->text(), QString());
        entryPage->findChild<QLineEdit*>("1048")->setText(QStringLiteral("Bank"));
        entryPage->findChild<QLineEdit*>("1049")->setText(QStringLiteral("0,123"));
        entryPage->findChild<QComboBox*>("1051")->setCurrentIndex(1);
    });
    run.Click(CDlgDialNumber::IDC_ADD);

    EXPECT_EQ(Items(run.List()), (QStringList{"Bank", "Office"}));
    ASSERT_EQ(run.page.m_pDoc->GetListSize(), 2);
    EXPECT_EQ(*run.page.m_pDoc->GetNode(1), Entry("Bank", "0,123", 38400, 'E', 7, 2, 'H'));
    EXPECT_TRUE(run.page.m_pDoc->IsModified());
    EXPECT_TRUE(no.requests.empty());

    ASSERT_TRUE(run.sheet.PressOk());
    ASSERT_EQ(no.requests.size(), 1u);
    EXPECT_EQ(no.requests[0].text, QStringLiteral("Save changes to %1?").arg(path));
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(DialPagesTest, CancelledAddChangesNothing) {
    const QString path = WriteList({Entry("Office", "555")});
    RunningPage run(path);
    QTimer::singleShot(0, &run.page, [] {
        auto* sheet = qobject_cast<PropertySheet*>(QApplication::activeModalWidget());
        ASSERT_NE(sheet, nullptr);
        sheet->GetPage(0)->findChild<QLineEdit*>("1048")->setText(QStringLiteral("Bank"));
        sheet->PressCancel();
    });
    run.Click(CDlgDialNumber::IDC_ADD);
    EXPECT_EQ(Items(run.List()), QStringList{"Office"});
    EXPECT_FALSE(run.page.m_pDoc->IsModified());
    run.sheet.PressOk();
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(DialPagesTest, EditChangesTheFirstOfTwoEntriesWithOneComment) {
    const QString path = WriteList({Entry("Home", "1", 19200, 'E', 7, 2, 'H'), Entry("Home", "2")});
    page_test::MessageRecorder yes(kerdal::kIdYes);
    RunningPage run(path);
    // The second row shows the same comment; the lookup still finds the first entry.
    run.List()->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    OnNextEntrySheet(&run.page, [](PropertySheet& sheet) {
        QWidget* entryPage = sheet.GetPage(0);
        EXPECT_EQ(entryPage->findChild<QLineEdit*>("1048")->text(), QStringLiteral("Home"));
        EXPECT_EQ(entryPage->findChild<QLineEdit*>("1049")->text(), QStringLiteral("1"));
        EXPECT_EQ(entryPage->findChild<QComboBox*>("1051")->currentText(), QStringLiteral("Half"));
        // The settings page starts at the entry's line parameters.
        const AndCommParam* params = DLLGetCommParam();
        EXPECT_EQ(params->GetBaudRate(params->GetCurBaudRate()), 19200);
        EXPECT_EQ(params->GetParity(params->GetCurParity()), 'E');
        entryPage->findChild<QLineEdit*>("1048")->setText(QStringLiteral("Cottage"));
        entryPage->findChild<QLineEdit*>("1049")->setText(QStringLiteral("9"));
    });
    run.Click(CDlgDialNumber::IDC_EDIT);

    ASSERT_EQ(run.page.m_pDoc->GetListSize(), 2);
    EXPECT_EQ(*run.page.m_pDoc->GetNode(0), Entry("Cottage", "9", 19200, 'E', 7, 2, 'H'));
    EXPECT_EQ(*run.page.m_pDoc->GetNode(1), Entry("Home", "2"));
    EXPECT_EQ(Items(run.List()), (QStringList{"Cottage", "Home"}));
    ASSERT_TRUE(run.sheet.PressOk());
    EXPECT_EQ(ReadList(path).at(0).strComment, "Cottage");
}

TEST_F(DialPagesTest, WithoutAHostTemplateThePageKeepsItsOwnDocument) {
    tfw::TheDocManager().RemoveAllTemplates();
    const QString path = WriteList({Entry("A", "1"), Entry("B", "2")});
    page_test::MessageRecorder yes(kerdal::kIdYes);
    RunningPage run(path);
    EXPECT_EQ(Items(run.List()), (QStringList{"A", "B"}));
    run.List()->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
    run.Click(CDlgDialNumber::IDC_DELETE);
    ASSERT_TRUE(run.sheet.PressOk());
    EXPECT_EQ(run.page.m_strDialString, QStringLiteral("2"));
    EXPECT_EQ(ReadList(path), (std::vector<tagDialEntry>{Entry("B", "2")}));
}

TEST_F(DialPagesTest, AdvancedSheetIsShownAndItsAcceptanceRemembered) {
    const QString path = WriteList({Entry("A", "1"), Entry("B", "2")});
    PropertySheet advanced(QStringLiteral("Advanced Modem Settings"));
    kerdal::PropertyPage extra(1, QStringLiteral("Extra"), 50, 50);
    advanced.AddPage(&extra);
    RunningPage run(path, [&](CDlgDialNumber& p) { p.m_pAdvancedSheet = &advanced; });
    EXPECT_TRUE(Ctl<QPushButton>(&run.page, CDlgDialNumber::IDC_ADVANCED)->isEnabled());
    run.List()->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);

    QTimer::singleShot(0, &run.page, [&] { advanced.PressCancel(); });
    run.Click(CDlgDialNumber::IDC_ADVANCED);
    EXPECT_EQ(run.page.m_bAdvanced, 0);
    QTimer::singleShot(0, &run.page, [&] { advanced.PressOk(); });
    run.Click(CDlgDialNumber::IDC_ADVANCED);
    EXPECT_EQ(run.page.m_bAdvanced, 1);
    QTimer::singleShot(0, &run.page, [&] { advanced.PressCancel(); });
    run.Click(CDlgDialNumber::IDC_ADVANCED);
    EXPECT_EQ(run.page.m_bAdvanced, 1) << "a later cancel must not clear it";
    EXPECT_EQ(Selected(run.List()), QStringList{"B"});
    run.sheet.PressCancel();
}

using DialEntryPageTest = page_test::SheetTest;

TEST_F(DialEntryPageTest, EmptyCommentIsRefusedAndEmptyDialStringAccepted) {
    CPSDialEntry page;
    Show(page);
    auto* comment = Ctl<QLineEdit>(&page, CPSDialEntry::IDC_COMMENT);
    auto* duplex = Ctl<QComboBox>(&page, CPSDialEntry::IDC_DUPLEX);
    EXPECT_EQ(duplex->count(), 2);
    EXPECT_EQ(duplex->currentText(), QStringLiteral("Full"));

    EXPECT_FALSE(sheet.PressOk());
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_EQ(messages.Texts(),
              std::vector<QString>{QStringLiteral("The \"Comment\" text box must be filled")});

    comment->setText(QStringLiteral("Lab"));
    duplex->setCurrentIndex(1);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_strComment, QStringLiteral("Lab"));
    EXPECT_TRUE(page.m_strDialString.isEmpty());
    EXPECT_EQ(page.m_chDuplex, 'H');
}

TEST_F(DialEntryPageTest, DuplexLetterShowsAndComesBack) {
    CPSDialEntry page;
    page.m_strComment = QStringLiteral("Lab");
    page.m_strDialString = QStringLiteral("T123");
    page.m_chDuplex = 'X';  // anything but F shows as half duplex
    Show(page);
    auto* duplex = Ctl<QComboBox>(&page, CPSDialEntry::IDC_DUPLEX);
    EXPECT_EQ(duplex->currentText(), QStringLiteral("Half"));
    EXPECT_EQ(Ctl<QLineEdit>(&page, CPSDialEntry::IDC_DIAL_STRING)->text(), QStringLiteral("T123"));
    duplex->setCurrentIndex(0);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_chDuplex, 'F');

    // A second run starts from the members again, with the list not filled twice.
    sheet.Open();
    EXPECT_EQ(duplex->count(), 2);
    EXPECT_EQ(duplex->currentText(), QStringLiteral("Full"));
    sheet.PressCancel();
    EXPECT_TRUE(messages.requests.empty());
}

}  // namespace
