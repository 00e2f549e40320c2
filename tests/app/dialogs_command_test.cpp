// The small command dialogs driven through their real widgets: Send string, Read bytes, Command.
#include "app/dlg_command.h"
#include "app/dlg_read_bytes.h"
#include "app/dlg_send_string.h"
#include "qt_test_support.h"
#include "setup/page_message_box.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tolvan::app {
namespace {

template <class T>
T* Find(QWidget& dlg, int id) {
    T* w = dlg.findChild<T*>(QString::number(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// Collects every message a dialog shows, answering OK.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = kerdal::SetPageMessageHook([this](const kerdal::MessageRequest& r) {
            texts.push_back(r.text);
            return int(kerdal::kIdOk);
        });
    }
    ~MessageRecorder() { kerdal::SetPageMessageHook(previous_); }
    std::vector<QString> texts;

private:
    kerdal::MessageHook previous_;
};

// Types into the dialog's widgets, as a user would, and presses OK.
std::string SendThroughDialog(const QString& text, bool addLF, bool addCR) {
    CDlgSendString dlg;
    dlg.show();
    Find<QLineEdit>(dlg, CDlgSendString::IDC_STRING)->setText(text);
    Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_LF)->setChecked(addLF);
    Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_CR)->setChecked(addCR);
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    return dlg.SendBytes();
}

TEST(SendStringDialog, OpensEmptyWithBothLineEndsChecked) {
    CDlgSendString dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Send string"));
    EXPECT_TRUE(Find<QLineEdit>(dlg, CDlgSendString::IDC_STRING)->text().isEmpty());
    EXPECT_TRUE(Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_LF)->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_CR)->isChecked());
    EXPECT_EQ(Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_LF)->text(), QStringLiteral("Add \\n"));
    EXPECT_EQ(Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_CR)->text(), QStringLiteral("Add \\r"));
}

TEST(SendStringDialog, LineEndsFollowTheBoxesCarriageReturnFirst) {
    EXPECT_EQ(SendThroughDialog("AT", true, true), std::string("\x41\x54\x0D\x0A"));
    EXPECT_EQ(SendThroughDialog("AT", true, false), std::string("\x41\x54\x0A"));
    EXPECT_EQ(SendThroughDialog("AT", false, true), std::string("\x41\x54\x0D"));
    EXPECT_EQ(SendThroughDialog("AT", false, false), std::string("\x41\x54"));
    EXPECT_EQ(SendThroughDialog("", true, true), std::string("\r\n"));
}

TEST(SendStringDialog, TextGoesOutAsEightBitBytes) {
    // One byte per character, not UTF-8: a device on the line expects the 8-bit code.
    EXPECT_EQ(SendThroughDialog(QString::fromLatin1("\xE9t\xE9"), false, false),
              std::string("\xE9t\xE9"));
    EXPECT_EQ(SendThroughDialog(QString::fromUtf8("\xE2\x82\xAC"), false, false), std::string("?"));
}

TEST(SendStringDialog, CancelKeepsTheEarlierChoice) {
    CDlgSendString dlg;
    dlg.m_strText = QStringLiteral("ATZ");
    dlg.m_bAddLF = false;
    dlg.show();
    EXPECT_FALSE(Find<QCheckBox>(dlg, CDlgSendString::IDC_ADD_LF)->isChecked());
    Find<QLineEdit>(dlg, CDlgSendString::IDC_STRING)->setText(QStringLiteral("other"));
    Find<QPushButton>(dlg, 2)->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.SendBytes(), std::string("ATZ\r"));
}

TEST(SendStringDialog, RunsModallyAndReturnsTheTypedText) {
    CDlgSendString dlg;
    QTimer::singleShot(0, &dlg, [&dlg] {
        dlg.findChild<QLineEdit*>(QStringLiteral("1008"))->setText(QStringLiteral("ATI"));
        dlg.findChild<QPushButton*>(QStringLiteral("1"))->click();
    });
    ASSERT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(dlg.SendBytes(), std::string("ATI\r\n"));
}

TEST(ReadBytesDialog, StartsAtZeroAndAcceptsAnUnsignedCount) {
    MessageRecorder messages;
    CDlgReadBytes dlg;
    dlg.show();
    auto* edit = Find<QLineEdit>(dlg, CDlgReadBytes::IDC_COUNT);
    EXPECT_EQ(edit->text(), QStringLiteral("0"));
    edit->setText(QStringLiteral("4294967295"));
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_nBytes, 4294967295u);
    EXPECT_TRUE(messages.texts.empty());
}

TEST(ReadBytesDialog, RefusesTextThatIsNoNumberAndStaysOpen) {
    MessageRecorder messages;
    CDlgReadBytes dlg;
    dlg.m_nBytes = 7;
    dlg.show();
    auto* edit = Find<QLineEdit>(dlg, CDlgReadBytes::IDC_COUNT);
    for (const char* bad : {"abc", "", "12x", "4294967296"}) {
        edit->setText(QString::fromLatin1(bad));
        Find<QPushButton>(dlg, 1)->click();
        EXPECT_TRUE(dlg.isVisible()) << bad;
        EXPECT_EQ(dlg.m_nBytes, 7u) << bad;
    }
    ASSERT_EQ(messages.texts.size(), 4u);
    EXPECT_EQ(messages.texts.front(), QStringLiteral("Please enter a positive integer."));
    edit->setText(QStringLiteral(" 12 "));
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.m_nBytes, 12u);
}

TEST(CommandDialog, OpensEmptyAndAppendsCarriageReturn) {
    CDlgCommand dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Command"));
    auto* edit = Find<QLineEdit>(dlg, CDlgCommand::IDC_COMMAND);
    EXPECT_TRUE(edit->text().isEmpty());
    edit->setText(QStringLiteral("ATDT123"));
    Find<QPushButton>(dlg, 1)->click();
    EXPECT_EQ(dlg.CommandBytes(), std::string("ATDT123\r"));

    CDlgCommand cancelled;
    cancelled.show();
    Find<QLineEdit>(cancelled, CDlgCommand::IDC_COMMAND)->setText(QStringLiteral("ATH"));
    Find<QPushButton>(cancelled, 2)->click();
    EXPECT_EQ(cancelled.CommandBytes(), std::string("\r"));
}

}  // namespace
}  // namespace tolvan::app
