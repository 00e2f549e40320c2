// The property sheet with real pages on the offscreen platform: validation when a page is
// left or the sheet accepted, which pages are applied or reset, and who owns the pages.

#include "page_test_support.h"

#include "setup/page_controls.h"
#include "setup/property_sheet.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest/QTest>

#include <memory>
#include <string>
#include <vector>

using kerdal::DataExchange;
using kerdal::PropertyPage;
using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

// A page with one unsigned box (id 2001) and one text box (id 2002) that counts its hooks.
class CountingPage : public PropertyPage {
public:
    explicit CountingPage(const QString& caption, std::vector<std::string>* log = nullptr)
        : PropertyPage(900, caption, 100, 50), m_log(log) {
        m_pNumber = kerdal::AddEdit(this, 2001, 2, 2, 40, 13);
        m_pText = kerdal::AddEdit(this, 2002, 2, 20, 40, 13);
    }
    ~CountingPage() override {
        if (m_log) m_log->push_back("deleted " + Caption().toStdString());
    }

    void DoDataExchange(DataExchange& dx) override {
        kerdal::DDX_Text(dx, m_pNumber, number);
        kerdal::DDX_Text(dx, m_pText, text);
    }
    bool OnInitDialog() override {
        ++inits;
        return PropertyPage::OnInitDialog();
    }
    bool OnSetActive() override {
        ++activations;
        return allowActivate && PropertyPage::OnSetActive();
    }
    bool OnApply() override {
        ++applies;
        return PropertyPage::OnApply();
    }
    void OnCancel() override { ++cancels; }
    void OnDestroy() override { ++destroys; }

    unsigned number = 7;
    QString text = QStringLiteral("seven");
    int inits = 0, activations = 0, applies = 0, cancels = 0, destroys = 0;
    bool allowActivate = true;
    QLineEdit* m_pNumber;
    QLineEdit* m_pText;

private:
    std::vector<std::string>* m_log;
};

class PropertySheetTest : public page_test::PageTest {
protected:
    // The sheet with `first` alone or with both pages, shown.
    void Show(bool both = true) {
        sheet.AddPage(&first);
        if (both) sheet.AddPage(&second);
        sheet.Open();
    }
    CountingPage first{QStringLiteral("First")}, second{QStringLiteral("Second")};
    PropertySheet sheet{QStringLiteral("Sheet")};
};

}  // namespace

TEST_F(PropertySheetTest, LeavingAPageValidatesItAndAFailureKeepsItWithFocusAndMessage) {
    Show();
    ASSERT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(first.m_pNumber->text(), QStringLiteral("7"));

    first.m_pNumber->setText(QStringLiteral("-3"));
    first.m_pText->setText(QStringLiteral("typed"));
    EXPECT_FALSE(sheet.SetActivePage(1));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(messages.Texts(),
              std::vector<QString>{QStringLiteral("Please enter a positive integer.")});
    EXPECT_EQ(first.focusWidget(), first.m_pNumber);
    EXPECT_EQ(first.text, QStringLiteral("seven")) << "members after the failing one are not read";
    EXPECT_EQ(second.inits, 0);

    // A click on the other tab is refused the same way.
    messages.Clear();
    sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(sheet.findChild<QTabWidget*>()->currentIndex(), 0);
    EXPECT_EQ(messages.requests.size(), 1u);

    first.m_pNumber->setText(QStringLiteral(" 42 "));
    EXPECT_TRUE(sheet.SetActivePage(1));
    EXPECT_EQ(first.number, 42u);
    EXPECT_EQ(first.text, QStringLiteral("typed"));
    EXPECT_EQ(second.inits, 1);
    sheet.PressCancel();
}

TEST_F(PropertySheetTest, OkAppliesOnlyShownPagesAndANeverShownPageKeepsItsMembers) {
    Show();
    first.m_pText->setText(QStringLiteral("accepted"));
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(sheet.Result(), kerdal::kIdOk);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(first.text, QStringLiteral("accepted"));
    EXPECT_EQ(first.applies, 1);
    EXPECT_EQ(first.destroys, 1);
    EXPECT_EQ(second.inits, 0);
    EXPECT_EQ(second.applies, 0);
    EXPECT_EQ(second.text, QStringLiteral("seven"));
}

TEST_F(PropertySheetTest, OkWithAnInvalidCurrentPageStaysOpen) {
    Show(false);
    first.m_pNumber->setText(QStringLiteral("4294967296"));
    EXPECT_FALSE(sheet.PressOk());
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_EQ(sheet.Result(), 0);
    EXPECT_EQ(first.applies, 0);
    first.m_pNumber->setText(QStringLiteral("4294967295"));
    EXPECT_TRUE(sheet.PressOk());
    EXPECT_EQ(first.number, 4294967295u);
}

TEST_F(PropertySheetTest, CancelResetsShownPagesAndReadsNothing) {
    Show();
    first.m_pNumber->setText(QStringLiteral("not a number"));  // no validation on cancel
    EXPECT_TRUE(sheet.PressCancel());
    EXPECT_EQ(sheet.Result(), kerdal::kIdCancel);
    EXPECT_EQ(first.number, 7u);
    EXPECT_EQ(first.cancels, 1);
    EXPECT_EQ(second.cancels, 0);
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(PropertySheetTest, DoModalEndsThroughItsRealButtonsAndKeys) {
    sheet.AddPage(&first);

    QTimer::singleShot(0, &sheet, [&] {
        first.m_pText->setText(QStringLiteral("by click"));
        QTest::mouseClick(Ctl<QPushButton>(&sheet, kerdal::kIdOk), Qt::LeftButton);
    });
    EXPECT_EQ(sheet.DoModal(), kerdal::kIdOk);
    EXPECT_EQ(first.text, QStringLiteral("by click"));

    QTimer::singleShot(0, &sheet, [&] {
        first.m_pText->setText(QStringLiteral("escaped"));
        QTest::keyClick(&sheet, Qt::Key_Escape);
    });
    EXPECT_EQ(sheet.DoModal(), kerdal::kIdCancel);
    EXPECT_EQ(first.text, QStringLiteral("by click"));
}

TEST_F(PropertySheetTest, EachRunStartsThePagesAfreshAndReactivationReloadsControls) {
    Show();
    ASSERT_TRUE(sheet.SetActivePage(1));
    first.number = 99;  // changed behind the page's back while it is not active
    ASSERT_TRUE(sheet.SetActivePage(0));
    EXPECT_EQ(first.m_pNumber->text(), QStringLiteral("99"));
    EXPECT_EQ(first.inits, 1);
    sheet.PressOk();
    EXPECT_EQ(second.applies, 1);

    second.text = QStringLiteral("second run");
    sheet.Open();
    EXPECT_EQ(first.inits, 2);
    EXPECT_EQ(second.inits, 1) << "not shown in the second run";
    sheet.PressOk();
    EXPECT_EQ(second.applies, 1);
    EXPECT_EQ(second.text, QStringLiteral("second run"));
}

TEST_F(PropertySheetTest, APageThatRefusesActivationLeavesTheFormerPageActive) {
    second.allowActivate = false;
    Show();
    EXPECT_FALSE(sheet.SetActivePage(1));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(sheet.findChild<QTabWidget*>()->currentIndex(), 0);
    sheet.PressCancel();
}

TEST_F(PropertySheetTest, ApplyIsEnabledByAModifiedPageAndKeepsTheSheetOpen) {
    Show(false);
    auto* apply = Ctl<QPushButton>(&sheet, PropertySheet::kIdApplyNow);
    EXPECT_FALSE(apply->isEnabled());
    first.SetModified();
    EXPECT_TRUE(apply->isEnabled());
    first.m_pText->setText(QStringLiteral("applied"));
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_EQ(first.text, QStringLiteral("applied"));
    EXPECT_EQ(first.applies, 1);
    EXPECT_TRUE(sheet.IsRunning());
    EXPECT_FALSE(apply->isEnabled());
    sheet.PressCancel();
}

TEST_F(PropertySheetTest, CallersPagesOutliveTheSheetAndOwnedPagesDieWithItLastFirst) {
    std::vector<std::string> log;
    auto callers = std::make_unique<CountingPage>(QStringLiteral("caller's"), &log);
    {
        PropertySheet sheet(QStringLiteral("Sheet"));
        sheet.AddPage(callers.get());
        sheet.AddPage(std::make_unique<CountingPage>(QStringLiteral("owned 1"), &log));
        sheet.AddPage(std::make_unique<CountingPage>(QStringLiteral("owned 2"), &log));
        EXPECT_EQ(sheet.GetPageCount(), 3);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"deleted owned 2", "deleted owned 1"}));
    EXPECT_EQ(callers->Sheet(), nullptr);
    EXPECT_EQ(callers->parentWidget(), nullptr);

    // A page deleted before its sheet leaves it.
    PropertySheet sheet(QStringLiteral("Sheet"));
    sheet.AddPage(callers.get());
    sheet.AddPage(std::make_unique<CountingPage>(QStringLiteral("owned 3"), &log));
    sheet.Open();
    callers.reset();
    EXPECT_EQ(sheet.GetPageCount(), 1);
    EXPECT_EQ(sheet.GetPage(0)->Caption(), QStringLiteral("owned 3"));
    EXPECT_EQ(sheet.GetActiveIndex(), 0);
    EXPECT_EQ(sheet.findChild<QTabWidget*>()->tabText(0), QStringLiteral("owned 3"));
    sheet.PressOk();
}
