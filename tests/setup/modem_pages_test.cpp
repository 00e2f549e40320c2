// "Modem", "Work mode" and "Modem Mode" pages in a real sheet on the offscreen platform.

#include "page_test_support.h"

#include "setup/dlg_ps_modem_mode.h"
#include "setup/property_sheet.h"
#include "setup/ps_mdm_work_mode.h"
#include "setup/ps_modem_setting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>

using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

const QString kTimeoutMessage = QStringLiteral("This work mode demands a positive timeout");
const QString kResponseMessage =
    QStringLiteral("This work mode demands a response string, that is not empty");
const QString kInternalMessage = QStringLiteral("The internal timeout must be greater then zero");

using ModemPagesTest = page_test::SheetTest;

class WorkModeTest : public ModemPagesTest {
protected:
    void Fill(int mode, unsigned timeout, const QString& response, unsigned internal) {
        page.m_nWorkMode = mode;
        page.m_nTimeout = timeout;
        page.m_strResponse = response;
        page.m_nInternalTimeout = internal;
        Show(page);
    }
    QLineEdit* Edit(int id) { return Ctl<QLineEdit>(&page, id); }
    CPSMdmSpecSet page;
};

}  // namespace

TEST_F(WorkModeTest, NotToWaitAcceptsTimeoutZero) {
    Fill(0, 0, QString(), 1000);
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(page.m_nWorkMode, 0);
}

TEST_F(WorkModeTest, WaitingForTheTimeoutRefusesTimeoutZeroWithFocusInTheTimeoutBox) {
    Fill(1, 0, QStringLiteral("OK"), 1000);
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kTimeoutMessage});
    EXPECT_EQ(messages.requests[0].icon, kerdal::MessageIcon::Warning);
    EXPECT_EQ(messages.requests[0].buttons, kerdal::MessageButtons::Ok);
    EXPECT_EQ(page.focusWidget(), Edit(1045));
    EXPECT_TRUE(sheet.IsRunning());

    messages.Clear();
    Edit(1045)->setText(QStringLiteral("250"));
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nTimeout, 250u);
    EXPECT_TRUE(messages.requests.empty());
}

// Waiting for the response: the timeout is checked first, then the response, and the
// internal timeout, refused in every mode, last; each refusal puts the focus in its box.
TEST_F(WorkModeTest, InternalTimeoutZeroIsRefusedInEveryModeOnlyAfterTheOtherChecks) {
    Fill(2, 0, QString(), 0);
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kTimeoutMessage});
    EXPECT_EQ(page.focusWidget(), Edit(1045));

    messages.Clear();
    Edit(1045)->setText(QStringLiteral("100"));
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kResponseMessage});
    EXPECT_EQ(page.focusWidget(), Edit(1046));

    messages.Clear();
    Edit(1046)->setText(QStringLiteral("CONNECT"));
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kInternalMessage});
    EXPECT_EQ(page.focusWidget(), Edit(1047));

    messages.Clear();
    QTest::mouseClick(Ctl<QRadioButton>(&page, 1042), Qt::LeftButton);  // "Not to wait"
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kInternalMessage});
    EXPECT_EQ(page.m_nWorkMode, 0);
    Edit(1047)->setText(QStringLiteral("1"));
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nInternalTimeout, 1u);
    EXPECT_EQ(page.m_strResponse, QStringLiteral("CONNECT"));
}

TEST_F(WorkModeTest, MembersReadBeforeAFailedCheckKeepTheirNewValues) {
    Fill(1, 10, QString(), 1000);
    Edit(1046)->setText(QStringLiteral("RING"));
    Edit(1045)->setText(QStringLiteral("0"));
    Edit(1047)->setText(QStringLiteral("77"));
    Edit(1057)->setText(QStringLiteral("other.lst"));
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_EQ(page.m_strResponse, QStringLiteral("RING"));
    EXPECT_EQ(page.m_nTimeout, 0u);
    EXPECT_EQ(page.m_nInternalTimeout, 77u);
    EXPECT_EQ(page.m_strPhoneList, QStringLiteral("other.lst"));
}

TEST_F(WorkModeTest, NoModeSetShowsNoRadioButtonWithTimeoutEnabledAndResponseDisabled) {
    Fill(-1, 10, QString(), 10);
    for (int id : {1042, 1043, 1044}) EXPECT_FALSE(Ctl<QRadioButton>(&page, id)->isChecked()) << id;
    EXPECT_TRUE(Edit(1045)->isEnabled());
    EXPECT_FALSE(Edit(1046)->isEnabled());
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nWorkMode, -1);
}

TEST_F(WorkModeTest, ClicksOnTheModesReadThePageAndFollowTheEnablingRules) {
    Fill(0, 0, QString(), 1000);
    EXPECT_TRUE(Ctl<QRadioButton>(&page, 1042)->isChecked());
    EXPECT_FALSE(Edit(1045)->isEnabled());
    EXPECT_FALSE(Edit(1046)->isEnabled());

    // A waiting mode chosen while the timeout is 0 brings the message at once, and the now
    // enabled Timeout box gets the focus.
    QTest::mouseClick(Ctl<QRadioButton>(&page, 1043), Qt::LeftButton);
    EXPECT_EQ(messages.Texts(), std::vector<QString>{kTimeoutMessage});
    EXPECT_EQ(page.m_nWorkMode, 1);
    EXPECT_TRUE(Edit(1045)->isEnabled());
    EXPECT_FALSE(Edit(1046)->isEnabled());
    EXPECT_EQ(page.focusWidget(), Edit(1045));

    messages.Clear();
    Edit(1045)->setText(QStringLiteral("300"));
    Edit(1046)->setText(QStringLiteral("OK"));
    QTest::mouseClick(Ctl<QRadioButton>(&page, 1044), Qt::LeftButton);
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(page.m_nWorkMode, 2);
    EXPECT_EQ(page.m_nTimeout, 300u);
    EXPECT_TRUE(Edit(1046)->isEnabled());

    QTest::mouseClick(Ctl<QRadioButton>(&page, 1042), Qt::LeftButton);
    EXPECT_FALSE(Edit(1045)->isEnabled());
    EXPECT_FALSE(Edit(1046)->isEnabled());
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nWorkMode, 0);
}

TEST_F(WorkModeTest, BrowseTakesTheFullPathAndReloadsThePage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString chosen = QDir(dir.path()).filePath(QStringLiteral("office.lst"));
    Fill(2, 500, QStringLiteral("OK"), 1000);
    page.m_strPhoneList = QStringLiteral("phonenum.lst");
    Edit(1046)->setText(QStringLiteral("typed, never read"));

    bool sawDialog = false;
    QTimer::singleShot(0, &page, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        sawDialog = true;
        EXPECT_EQ(dialog->nameFilters(), (QStringList{"Phone list (*.lst)", "All files (*.*)"}));
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");  // the Open button
    });
    QTest::mouseClick(Ctl<QPushButton>(&page, 1058), Qt::LeftButton);
    ASSERT_TRUE(sawDialog);
    EXPECT_EQ(page.m_strPhoneList, chosen);
    EXPECT_EQ(Edit(1057)->text(), chosen);
    EXPECT_EQ(Edit(1046)->text(), QStringLiteral("OK"));

    // Cancelling the file dialog changes nothing.
    QTimer::singleShot(0, &page, [] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    Edit(1046)->setText(QStringLiteral("kept"));
    QTest::mouseClick(Ctl<QPushButton>(&page, 1058), Qt::LeftButton);
    EXPECT_EQ(page.m_strPhoneList, chosen);
    EXPECT_EQ(Edit(1046)->text(), QStringLiteral("kept"));
}

TEST_F(ModemPagesTest, ModemPageRoundTripsAllElevenMembers) {
    CPSModemSetting page;
    page.m_strInit = QStringLiteral("AT&F1");
    page.m_strDialPrefix = QStringLiteral("ATD");
    page.m_strDialSuffix = QStringLiteral(";");
    page.m_strHangUp = QStringLiteral("ATH0");
    page.m_strDelay = QStringLiteral(",");
    page.m_nDelayTime = 2;
    page.m_nConnectTime = 30;
    page.m_nTurnaround = 15;
    page.m_nRedialPause = 5;
    page.m_nMaxRedials = 4;
    page.m_bDtrHangUp = 1;
    Show(page);
    EXPECT_EQ(Ctl<QLineEdit>(&page, 1030)->text(), QStringLiteral("AT&F1"));
    EXPECT_TRUE(Ctl<QCheckBox>(&page, 1041)->isChecked());
    EXPECT_EQ(Ctl<QCheckBox>(&page, 1041)->layoutDirection(), Qt::RightToLeft);

    Ctl<QLineEdit>(&page, 1030)->setText(QStringLiteral("ATZ"));
    Ctl<QLineEdit>(&page, 1039)->setText(QStringLiteral("9"));
    Ctl<QLineEdit>(&page, 1037)->setText(QStringLiteral("120"));
    QTest::mouseClick(Ctl<QCheckBox>(&page, 1041), Qt::LeftButton);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_strInit, QStringLiteral("ATZ"));
    EXPECT_EQ(page.m_nMaxRedials, 9u);
    EXPECT_EQ(page.m_nTurnaround, 120u);
    EXPECT_EQ(page.m_bDtrHangUp, 0);
    EXPECT_EQ(page.m_strDialSuffix, QStringLiteral(";"));
    EXPECT_EQ(page.m_nConnectTime, 30u);
}

TEST_F(ModemPagesTest, ModemPageLimitsWhatTheUserTypesButKeepsGivenTexts) {
    CPSModemSetting page;
    page.m_strDelay = QStringLiteral(",,");
    page.m_strHangUp = QString(40, u'H');  // longer than the box takes
    Show(page);
    auto* delay = Ctl<QLineEdit>(&page, 1034);
    auto* prefix = Ctl<QLineEdit>(&page, 1031);
    EXPECT_EQ(delay->text(), QStringLiteral(",,"));
    prefix->clear();
    QTest::keyClicks(prefix, QStringLiteral("ATDT0123456789ABCDEF"));
    EXPECT_EQ(prefix->text(), QStringLiteral("ATDT0123456789AB"));
    delay->clear();
    QTest::keyClicks(delay, QStringLiteral("W,!"));
    EXPECT_EQ(delay->text(), QStringLiteral("W,"));
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_strDelay, QStringLiteral("W,"));
    EXPECT_EQ(page.m_strDialPrefix, QStringLiteral("ATDT0123456789AB"));
    EXPECT_EQ(page.m_strHangUp, QString(40, u'H'));
}

TEST_F(ModemPagesTest, ModemPageRefusesANumberBoxThatHoldsNoUnsignedNumber) {
    CPSModemSetting page;
    Show(page);
    auto* delayTime = Ctl<QLineEdit>(&page, 1035);
    for (const char* bad : {"", "-1", "1.5", "2s", "4294967296"}) {
        messages.Clear();
        delayTime->setText(QString::fromLatin1(bad));
        EXPECT_FALSE(sheet.PressOk()) << bad;
        EXPECT_EQ(messages.Texts(),
                  std::vector<QString>{QStringLiteral("Please enter a positive integer.")})
            << bad;
        EXPECT_EQ(page.focusWidget(), delayTime);
        EXPECT_EQ(delayTime->selectedText(), QString::fromLatin1(bad));
    }
    delayTime->setText(QStringLiteral(" 3 "));
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nDelayTime, 3u);
}

TEST_F(ModemPagesTest, ModemModeListsAndTheirEnablingRules) {
    CDlgPSModemMode page;
    page.m_bEcho = 1;
    page.m_bReply = 0;
    page.m_nLoud = 2;
    page.m_nSpeaker = 2;
    page.m_nReplyMode = 1;
    page.m_nDialMode = 0;
    Show(page);
    auto* loud = Ctl<QComboBox>(&page, 1063);
    auto* speaker = Ctl<QComboBox>(&page, 1062);
    auto* replyMode = Ctl<QComboBox>(&page, 1064);
    EXPECT_EQ(loud->currentText(), QStringLiteral("Max"));
    EXPECT_EQ(speaker->itemText(3), QStringLiteral("On Before Answer"));
    EXPECT_EQ(replyMode->currentText(), QStringLiteral("String"));
    EXPECT_EQ(Ctl<QComboBox>(&page, 1065)->currentText(), QStringLiteral("Tone"));
    EXPECT_FALSE(loud->isEnabled()) << "Reply unchecked";
    EXPECT_TRUE(replyMode->isEnabled());

    QTest::mouseClick(Ctl<QCheckBox>(&page, 1060), Qt::LeftButton);
    EXPECT_EQ(page.m_bReply, 1);
    EXPECT_TRUE(loud->isEnabled());

    QTest::keyClick(speaker, Qt::Key_Home);  // "Off"
    EXPECT_EQ(page.m_nSpeaker, 0);
    EXPECT_FALSE(replyMode->isEnabled());
    EXPECT_TRUE(loud->isEnabled()) << "the Loud list follows Reply, not the speaker";

    QTest::keyClick(loud, Qt::Key_Home);
    QTest::keyClick(Ctl<QComboBox>(&page, 1065), Qt::Key_End);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_bEcho, 1);
    EXPECT_EQ(page.m_nLoud, 0);
    EXPECT_EQ(page.m_nDialMode, 1);
    EXPECT_EQ(page.m_nReplyMode, 1);
}

TEST_F(ModemPagesTest, ModemModeWithoutSelectionsKeepsThemUnselected) {
    CDlgPSModemMode page;  // all lists -1
    Show(page);
    EXPECT_EQ(Ctl<QComboBox>(&page, 1063)->currentIndex(), -1);
    EXPECT_TRUE(Ctl<QComboBox>(&page, 1064)->isEnabled()) << "speaker -1 is not Off";
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_nLoud, -1);
    EXPECT_EQ(page.m_nSpeaker, -1);
    EXPECT_EQ(page.m_bReply, 0);
}
