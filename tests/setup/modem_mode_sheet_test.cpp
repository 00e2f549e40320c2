// QueryModemMode: the modal "Work mode" + "Modem Mode" sheet on a record, driven the way a
// user drives it (offscreen platform).

#include "query_test_support.h"

#include "setup/property_sheet.h"
#include "setup/query_modem_mode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include <utility>

using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

class QueryModemModeTest : public page_test::QueryTest {
protected:
    int Query(AndModemMode* record, page_test::SheetAction user) {
        return Run([record] { return QueryModemMode("Modem settings", record); }, std::move(user));
    }
    static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
};

}  // namespace

TEST_F(QueryModemModeTest, AcceptedUnchangedReturnsTheRecordAsItWasWithLoudnessMappedBack) {
    AndModemMode record;
    record.nLoud = 3;
    const AndModemMode before = record;
    const int result = Query(&record, [](PropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Modem settings"));
        ASSERT_EQ(sheet.GetPageCount(), 2);
        EXPECT_EQ(sheet.GetPage(0)->Caption(), QStringLiteral("Work mode"));
        EXPECT_EQ(sheet.GetPage(1)->Caption(), QStringLiteral("Modem Mode"));
        EXPECT_EQ(Ctl<QLineEdit>(&sheet, 1046)->text(), QStringLiteral("OK"));
        EXPECT_EQ(Ctl<QLineEdit>(&sheet, 1057)->text(), QStringLiteral("phonenum.lst"));
        ASSERT_TRUE(sheet.SetActivePage(1));
        EXPECT_EQ(Ctl<QComboBox>(&sheet, 1063)->currentText(), QStringLiteral("Max"));
        EXPECT_EQ(Ctl<QComboBox>(&sheet, 1062)->currentText(), QStringLiteral("Always On"));
        Click(Ctl<QPushButton>(&sheet, kerdal::kIdOk));
    });
    ASSERT_TRUE(sheetShown);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(page_test::Same(record, before));
    EXPECT_EQ(record.nLoud, 3);
}

TEST_F(QueryModemModeTest, AllElevenFieldsComeBackFromBothPages) {
    AndModemMode record;
    const int result = Query(&record, [](PropertySheet& sheet) {
        Ctl<QLineEdit>(&sheet, 1045)->setText(QStringLiteral("2500"));
        Ctl<QLineEdit>(&sheet, 1046)->setText(QStringLiteral("CONNECT"));
        Click(Ctl<QRadioButton>(&sheet, 1044));
        Ctl<QLineEdit>(&sheet, 1047)->setText(QStringLiteral("40"));
        Ctl<QLineEdit>(&sheet, 1057)->setText(QStringLiteral("/tmp/office.lst"));
        sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
        ASSERT_EQ(sheet.GetActiveIndex(), 1);
        Click(Ctl<QCheckBox>(&sheet, 1059));                          // echo on
        QTest::keyClick(Ctl<QComboBox>(&sheet, 1063), Qt::Key_Home);  // loud "Min"
        QTest::keyClick(Ctl<QComboBox>(&sheet, 1062), Qt::Key_End);   // "On Before Answer"
        QTest::keyClick(Ctl<QComboBox>(&sheet, 1064), Qt::Key_Home);  // "Digit"
        QTest::keyClick(Ctl<QComboBox>(&sheet, 1065), Qt::Key_End);   // "Pulse"
        Click(Ctl<QCheckBox>(&sheet, 1060));                          // reply off
        Click(Ctl<QPushButton>(&sheet, kerdal::kIdOk));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.nTimeout, 2500);
    EXPECT_EQ(record.strResponse, "CONNECT");
    EXPECT_EQ(record.nWorkMode, 2);
    EXPECT_EQ(record.nInternalTimeout, 40);
    EXPECT_EQ(record.strPhoneList, "/tmp/office.lst");
    EXPECT_EQ(record.bEcho, 1);
    EXPECT_EQ(record.nLoud, 1);
    EXPECT_EQ(record.nSpeaker, 3);
    EXPECT_EQ(record.nReplyMode, 0);
    EXPECT_EQ(record.nDialMode, 1);
    EXPECT_EQ(record.bReply, 0);
}

TEST_F(QueryModemModeTest, ARefusedWorkModeKeepsTheSheetAndCancelLeavesTheRecord) {
    AndModemMode record;
    const AndModemMode before = record;
    bool stayedOpen = false;
    const int result = Query(&record, [&](PropertySheet& sheet) {
        Click(Ctl<QRadioButton>(&sheet, 1043));
        Ctl<QLineEdit>(&sheet, 1045)->setText(QStringLiteral("0"));
        Click(Ctl<QPushButton>(&sheet, kerdal::kIdOk));
        stayedOpen = sheet.IsRunning();
        Click(Ctl<QPushButton>(&sheet, kerdal::kIdCancel));
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(messages.Texts(),
              std::vector<QString>{QStringLiteral("This work mode demands a positive timeout")});
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(page_test::Same(record, before));
}

TEST_F(QueryModemModeTest, WithoutARecordNothingIsShownAndTheResultIsCancel) {
    EXPECT_EQ(Query(nullptr, [](PropertySheet& sheet) { sheet.PressOk(); }), 2);
    EXPECT_FALSE(sheetShown);
}
