// "Select Port" and port "Settings" pages in a real sheet on the offscreen platform.

#include "page_test_support.h"

#include "setup/records/comm_param.h"
#include "setup/property_sheet.h"
#include "setup/ps_select_port.h"
#include "setup/ps_settings_port.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest/QTest>

using kerdal::PropertySheet;
using page_test::Ctl;
using page_test::Items;

namespace {

class PortPagesTest : public page_test::PageTest {};

// Shows `page` alone in a sheet, lets `act` work on it, accepts, returns whether OK closed.
template <typename Page, typename Act>
bool RunAndAccept(Page& page, Act act) {
    PropertySheet sheet(QStringLiteral("Ports"));
    sheet.AddPage(&page);
    sheet.Open();
    act();
    return sheet.PressOk();
}

}  // namespace

TEST_F(PortPagesTest, SelectPagePreselectsThePortByNumberAndReturnsThePosition) {
    CPSSelectPort page("COM1,COM3");
    page.m_nPort = 3;
    auto* list = Ctl<QComboBox>(&page, 1005);
    ASSERT_TRUE(RunAndAccept(page, [&] {
        EXPECT_EQ(Items(list), (QStringList{"COM1", "COM3"}));
        EXPECT_EQ(list->currentText(), QStringLiteral("COM3"));
    }));
    EXPECT_EQ(page.m_nPort, 1);
    EXPECT_EQ(page.m_strPort, QStringLiteral("COM3"));
}

TEST_F(PortPagesTest, SelectPageWithoutMatchShowsTheFirstAndAcceptedUnchangedGivesPositionZero) {
    CPSSelectPort page("COM1,COM3");
    page.m_nPort = 7;
    ASSERT_TRUE(RunAndAccept(page, [&] {
        EXPECT_EQ(Ctl<QComboBox>(&page, 1005)->currentText(), QStringLiteral("COM1"));
    }));
    EXPECT_EQ(page.m_nPort, 0);
    EXPECT_EQ(page.m_strPort, QStringLiteral("COM1"));
}

TEST_F(PortPagesTest, SelectPageListShapesAndTheUsersChoice) {
    CPSSelectPort single("COM2");
    ASSERT_TRUE(
        RunAndAccept(single, [&] { EXPECT_EQ(Ctl<QComboBox>(&single, 1005)->count(), 1); }));
    EXPECT_EQ(single.m_strPort, QStringLiteral("COM2"));

    // A later match replaces an earlier one; the user's choice is what comes back.
    CPSSelectPort twice("COM4,COM10,COM4");
    twice.m_nPort = 4;
    auto* list = Ctl<QComboBox>(&twice, 1005);
    ASSERT_TRUE(RunAndAccept(twice, [&] {
        EXPECT_EQ(list->currentIndex(), 2);
        QTest::keyClick(list, Qt::Key_Up);
    }));
    EXPECT_EQ(twice.m_nPort, 1);
    EXPECT_EQ(twice.m_strPort, QStringLiteral("COM10"));
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(twice.m_strPort), 10);

    CPSSelectPort empty("");
    ASSERT_TRUE(RunAndAccept(empty, [] {}));
    EXPECT_EQ(empty.m_nPort, -1);
    EXPECT_TRUE(empty.m_strPort.isEmpty());
}

TEST_F(PortPagesTest, PortNumbersAreReadFromTheFourthCharacterAndShortNamesGiveNone) {
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COM10")), 10);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COM4")), 4);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COM12x")), 12);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COM")), 0);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("CO")), 0);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QString()), 0);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COMx")), 0);
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(QStringLiteral("COM99999999999")), 0);
}

TEST_F(PortPagesTest, SelectPageShownTwiceListsItsPortsOnce) {
    CPSSelectPort page("COM1,COM3");
    page.m_nPort = 3;
    PropertySheet sheet(QStringLiteral("Ports"));
    sheet.AddPage(&page);
    sheet.Open();
    sheet.PressOk();
    sheet.Open();
    EXPECT_EQ(Ctl<QComboBox>(&page, 1005)->count(), 2);
    sheet.PressOk();
    EXPECT_EQ(page.m_strPort, QStringLiteral("COM3"));
}

TEST_F(PortPagesTest, SettingsPageOnFreshParametersShowsTheDefaultsAndReturnsTheirPositions) {
    AndCommParam params;
    CPSSettingsPort fresh(&params);
    ASSERT_TRUE(RunAndAccept(fresh, [&] {
        EXPECT_EQ(Ctl<QComboBox>(&fresh, 1001)->currentText().trimmed(), QStringLiteral("9600"));
        EXPECT_EQ(Ctl<QComboBox>(&fresh, 1003)->currentText(), QStringLiteral("8"));
        EXPECT_EQ(Ctl<QComboBox>(&fresh, 1002)->currentText(), QStringLiteral("None"));
        EXPECT_EQ(Ctl<QComboBox>(&fresh, 1004)->currentText(), QStringLiteral("1"));
    }));
    EXPECT_EQ(fresh.m_nBaudRateIdx, 2);
    EXPECT_EQ(fresh.m_nWrdLenIdx, 3);
    EXPECT_EQ(fresh.m_nParityIdx, 2);
    EXPECT_EQ(fresh.m_nStopBitIdx, 0);
    EXPECT_EQ(fresh.m_bHandshaking, 1);
}

TEST_F(PortPagesTest, SettingsListsKeepTableOrderSoPositionsAreTableIndices) {
    AndCommParam params;
    CPSSettingsPort page(&params);
    auto* baud = Ctl<QComboBox>(&page, 1001);
    auto* parity = Ctl<QComboBox>(&page, 1002);
    ASSERT_TRUE(RunAndAccept(page, [&] {
        EXPECT_EQ(Items(baud), (QStringList{"   2400", "   4800", "   9600", "  19200", "  38400",
                                            "  57600", " 115200"}));
        EXPECT_EQ(Items(Ctl<QComboBox>(&page, 1003)), (QStringList{"5", "6", "7", "8"}));
        EXPECT_EQ(Items(parity), (QStringList{"Odd", "Even", "None", "Mark", "Space"}));
        EXPECT_EQ(Items(Ctl<QComboBox>(&page, 1004)), (QStringList{"1", "2"}));
        QTest::keyClick(baud, Qt::Key_End);
        QTest::keyClick(parity, Qt::Key_Home);
    }));
    EXPECT_EQ(params.GetBaudRate(page.m_nBaudRateIdx), 115200);
    EXPECT_EQ(params.GetParity(page.m_nParityIdx), 'O');
}

TEST_F(PortPagesTest, SettingsPageStartsAtTheCurrentChoicesAndCarriesTheHandshakeBoxes) {
    AndCommParam params;
    params.SetCurBaudRate(57600);
    params.SetCurParity('E');
    params.SetCurWrdLen(7);
    params.SetCurStopBit(2);
    CPSSettingsPort page(&params);
    page.m_bRtsCts = 1;
    auto* dtr = Ctl<QCheckBox>(&page, 1026);
    ASSERT_TRUE(RunAndAccept(page, [&] {
        EXPECT_EQ(Ctl<QComboBox>(&page, 1001)->currentText().trimmed(), QStringLiteral("57600"));
        EXPECT_TRUE(Ctl<QCheckBox>(&page, 1027)->isChecked());
        EXPECT_TRUE(dtr->isEnabled());
        QTest::mouseClick(dtr, Qt::LeftButton);
    }));
    EXPECT_EQ(params.GetBaudRate(page.m_nBaudRateIdx), 57600);
    EXPECT_EQ(params.GetParity(page.m_nParityIdx), 'E');
    EXPECT_EQ(params.GetWrdLen(page.m_nWrdLenIdx), 7);
    EXPECT_EQ(params.GetStopBit(page.m_nStopBitIdx), 2);
    EXPECT_EQ(page.m_bDtrDsr, 1);
    EXPECT_EQ(page.m_bRtsCts, 1);
    EXPECT_EQ(page.m_bXonXoff, 0);
}

TEST_F(PortPagesTest, WithoutHandshakingTheBoxesAreClearedDisabledAndComeBackZero) {
    AndCommParam params;
    CPSSettingsPort page(&params);
    page.m_bHandshaking = 0;
    page.m_bXonXoff = 1;
    page.m_bDtrDsr = 1;
    ASSERT_TRUE(RunAndAccept(page, [&] {
        for (int id : {1026, 1027, 1028}) {
            auto* box = Ctl<QCheckBox>(&page, id);
            EXPECT_FALSE(box->isChecked()) << id;
            EXPECT_FALSE(box->isEnabled()) << id;
        }
    }));
    EXPECT_EQ(page.m_bXonXoff, 0);
    EXPECT_EQ(page.m_bDtrDsr, 0);
    EXPECT_EQ(page.m_bRtsCts, 0);
}

TEST_F(PortPagesTest, ConnectSheetOfBothPagesCollectsPortAndLine) {
    AndCommParam params;
    CPSSelectPort select("COM1,COM2,COM5");
    select.m_nPort = 5;
    CPSSettingsPort settings(&params);
    PropertySheet sheet(QStringLiteral("Setup Connection"));
    sheet.AddPage(&select);
    sheet.AddPage(&settings);
    sheet.Open();
    ASSERT_TRUE(sheet.SetActivePage(1));
    QTest::keyClick(Ctl<QComboBox>(&settings, 1001), Qt::Key_Down);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(select.m_strPort), 5);
    EXPECT_EQ(select.m_nPort, 2);
    EXPECT_EQ(params.GetBaudRate(settings.m_nBaudRateIdx), 19200);
    EXPECT_EQ(sheet.GetPage(0)->Caption(), QStringLiteral("Select Port"));
    EXPECT_EQ(sheet.GetPage(1)->Caption(), QStringLiteral("Settings"));
}
