// The "Buffer Settings" sheet with its real pages: figures shown, the range check with the
// framework's message, and which sizes come back.
#include "app/pp_buffer_size.h"
#include "qt_test_support.h"
#include "setup/page_message_box.h"

#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <vector>

namespace tolvan::app {
namespace {

class BufferSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = kerdal::SetPageMessageHook([this](const kerdal::MessageRequest& r) {
            messages.push_back(r.text);
            return int(kerdal::kIdOk);
        });
    }
    void TearDown() override { kerdal::SetPageMessageHook(previous_); }

    static QString Text(QWidget& w, int id) {
        QWidget* c = w.findChild<QWidget*>(QString::number(id));
        if (auto* l = qobject_cast<QLabel*>(c)) return l->text();
        if (auto* e = qobject_cast<QLineEdit*>(c)) return e->text();
        ADD_FAILURE() << "no control " << id;
        return {};
    }
    static QLineEdit* Edit(QWidget& w, int id) {
        return w.findChild<QLineEdit*>(QString::number(id));
    }

    std::vector<QString> messages;

private:
    kerdal::MessageHook previous_;
};

TEST_F(BufferSheetTest, OutputFirstInputSecondWithTheirFigures) {
    BufferSettingsSheet s({4000000000u, 17}, {1050, 3});
    s.Sheet().Open();
    EXPECT_EQ(s.Sheet().Caption(), QStringLiteral("Buffer Settings"));
    ASSERT_EQ(s.Sheet().GetPageCount(), 2);
    EXPECT_EQ(s.Sheet().GetPage(0)->Caption(), QStringLiteral("Output"));
    EXPECT_EQ(s.Sheet().GetPage(1)->Caption(), QStringLiteral("Input"));
    // Sizes above 2^31 are shown unsigned.
    EXPECT_EQ(Text(s.OutputPage(), 1021), QStringLiteral("4000000000"));
    EXPECT_EQ(Text(s.OutputPage(), 1022), QStringLiteral("17"));
    EXPECT_EQ(Text(s.OutputPage(), 1020), QStringLiteral("4000000000"));
    ASSERT_TRUE(s.Sheet().SetActivePage(1));
    EXPECT_EQ(Text(s.InputPage(), 1023), QStringLiteral("1050"));
    EXPECT_EQ(Text(s.InputPage(), 1024), QStringLiteral("3"));
    EXPECT_EQ(Text(s.InputPage(), 1025), QStringLiteral("1050"));
    s.Sheet().PressCancel();
}

TEST_F(BufferSheetTest, SizeBelowTheMinimumIsRefusedAndTheSheetStays) {
    BufferSettingsSheet s({2048, 100}, {1050, 0});
    s.Sheet().Open();
    Edit(s.OutputPage(), 1020)->setText(QStringLiteral("99"));
    EXPECT_FALSE(s.Sheet().PressOk());
    EXPECT_TRUE(s.Sheet().IsRunning());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("Please enter an integer between 100 and 4294967295."));
    // Nor may the user leave the page with it.
    EXPECT_FALSE(s.Sheet().SetActivePage(1));
    EXPECT_EQ(s.Sheet().GetActiveIndex(), 0);

    Edit(s.OutputPage(), 1020)->setText(QStringLiteral("100"));
    EXPECT_TRUE(s.Sheet().PressOk());
    EXPECT_EQ(s.NewOutputSize(), 100u);
    EXPECT_EQ(s.NewInputSize(), 1050u);  // never shown, so the current size stays
}

TEST_F(BufferSheetTest, TextThatIsNoUnsignedNumberBringsTheStandardMessage) {
    BufferSettingsSheet s({2048, 0}, {1050, 0});
    s.Sheet().Open();
    ASSERT_TRUE(s.Sheet().SetActivePage(1));
    for (const char* bad : {"big", "-5", "4294967296"}) {
        Edit(s.InputPage(), 1025)->setText(QString::fromLatin1(bad));
        EXPECT_FALSE(s.Sheet().PressOk()) << bad;
    }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], QStringLiteral("Please enter a positive integer."));
    EXPECT_EQ(s.NewInputSize(), 1050u);
    Edit(s.InputPage(), 1025)->setText(QStringLiteral("4294967295"));
    EXPECT_TRUE(s.Sheet().PressOk());
    EXPECT_EQ(s.NewInputSize(), 4294967295u);
}

TEST_F(BufferSheetTest, DefaultSizesAllowZeroAndCancelLeavesThemAlone) {
    BufferSettingsSheet s({1050, 0}, {2100, 0});
    s.Sheet().Open();
    Edit(s.OutputPage(), 1020)->setText(QStringLiteral("0"));
    ASSERT_TRUE(s.Sheet().SetActivePage(1));
    Edit(s.InputPage(), 1025)->setText(QStringLiteral("512"));
    ASSERT_TRUE(s.Sheet().PressOk());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(s.NewOutputSize(), 0u);
    EXPECT_EQ(s.NewInputSize(), 512u);

    BufferSettingsSheet c({1050, 0}, {2100, 0});
    c.Sheet().Open();
    Edit(c.OutputPage(), 1020)->setText(QStringLiteral("7"));
    ASSERT_TRUE(c.Sheet().PressCancel());
    EXPECT_EQ(c.NewOutputSize(), 1050u);
}

}  // namespace
}  // namespace tolvan::app
