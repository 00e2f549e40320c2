// Infra-red "Settings" page in a real sheet on the offscreen platform.

#include "page_test_support.h"

#include "setup/property_sheet.h"
#include "setup/ps_ir_settings.h"

#include <QComboBox>
#include <QtTest/QTest>

using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

class IrPageTest : public page_test::PageTest {
protected:
    // Shows the page with `rate`, lets `act` work on the list, accepts; the shown text.
    QString Run(std::int32_t rate, void (*act)(QComboBox*) = nullptr) {
        page.m_lBaudRate = rate;
        PropertySheet sheet(QStringLiteral("Infra-red"));
        sheet.AddPage(&page);
        sheet.Open();
        auto* list = Ctl<QComboBox>(&page, 1001);
        const QString shown = list->currentText();
        if (act) act(list);
        EXPECT_TRUE(sheet.PressOk());
        return shown;
    }
    CPSIRSettings page;
};

}  // namespace

TEST_F(IrPageTest, OffersTheFourLinkRatesAndStartsAt9600WithVariant1) {
    EXPECT_EQ(page.m_lBaudRate, 9600);
    EXPECT_EQ(page.m_nLinkVariant, 1);
    EXPECT_EQ(page.Caption(), QStringLiteral("Settings"));
    const QStringList items = page_test::Items(Ctl<QComboBox>(&page, 1001));
    EXPECT_EQ(items, (QStringList{"2400", "9600", "19200", "57600"}));
    for (std::size_t i = 0; i < CPSIRSettings::kBaudRates.size(); ++i)
        EXPECT_EQ(items[static_cast<int>(i)].toInt(), CPSIRSettings::kBaudRates[i]);
}

TEST_F(IrPageTest, AKnownRateComesBackUnchangedAndARateNotOfferedShowsAndReturns2400) {
    EXPECT_EQ(Run(19200), QStringLiteral("19200"));
    EXPECT_EQ(page.m_lBaudRate, 19200);
    EXPECT_EQ(Run(115200), QStringLiteral("2400"));
    EXPECT_EQ(page.m_lBaudRate, 2400);
}

TEST_F(IrPageTest, TheUsersChoiceComesBackAndTheLinkVariantIsLeftAlone) {
    page.m_nIRParity = 0;  // the channel's name for the same field
    Run(9600, [](QComboBox* list) { QTest::keyClick(list, Qt::Key_End); });
    EXPECT_EQ(page.m_lBaudRate, 57600);
    EXPECT_EQ(page.m_nLinkVariant, 0);
}
