// The "Select Port" page names the device behind the chosen COM number, from the device map
// of the process, while its items stay "COMn" for the creator to parse.

#include "page_test_support.h"

#include "platform/device_map.h"
#include "setup/ps_select_port.h"

#include <QComboBox>
#include <QLabel>
#include <QtTest/QTest>

#include <optional>
#include <string>

using page_test::Ctl;

namespace {

class SelectPortDeviceTest : public page_test::SheetTest {
protected:
    SelectPortDeviceTest() {
        tolvan::plat::DeviceMap::Clear();
        tolvan::plat::DeviceMap::SetAutoAssign(false);
        tolvan::plat::DeviceMap::Set(1, kById);
        tolvan::plat::DeviceMap::Set(3, "loop://");
        previous_ = CPSSelectPort::SetDeviceNamer([](int com) {
            const std::optional<std::string> target = tolvan::plat::DeviceMap::Lookup(com);
            return target ? QString::fromStdString(*target) : QString();
        });
    }
    ~SelectPortDeviceTest() override {
        CPSSelectPort::SetDeviceNamer(previous_);
        tolvan::plat::DeviceMap::Clear();
    }

    static constexpr const char* kById =
        "/dev/serial/by-id/"
        "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0-with-a-name-longer-than-the-page";

private:
    CPSSelectPort::DeviceNamer previous_;
};

TEST_F(SelectPortDeviceTest, ChosenComNumberShowsItsDeviceAndTheItemsStillParse) {
    CPSSelectPort page("COM1,COM3,COM7");
    page.m_nPort = 3;
    Show(page);
    auto* list = Ctl<QComboBox>(&page, CPSSelectPort::IDC_PORT_LIST);
    auto* device = Ctl<QLabel>(&page, CPSSelectPort::IDC_PORT_DEVICE);
    ASSERT_TRUE(list && device);
    EXPECT_EQ(page_test::Items(list), (QStringList{"COM1", "COM3", "COM7"}));
    EXPECT_EQ(device->text(), QStringLiteral("Device: loop://"));
    EXPECT_EQ(list->itemData(0, Qt::ToolTipRole).toString(), QString::fromLatin1(kById));
    EXPECT_EQ(list->itemData(1, Qt::ToolTipRole).toString(), QStringLiteral("loop://"));

    // A by-id name wider than the page is cut in its middle; the tooltip has it whole.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_TRUE(device->text().startsWith(QStringLiteral("Device: /dev/serial/by-id/")))
        << device->text().toStdString();
    EXPECT_TRUE(device->text().endsWith(QStringLiteral("page"))) << device->text().toStdString();
    EXPECT_LE(device->fontMetrics().horizontalAdvance(device->text()), device->width());
    EXPECT_EQ(device->toolTip(), QString::fromLatin1(kById));
    page.grab().save(QStringLiteral("/tmp/tolvan-setup-select-port-device.png"));  // to look at

    // A COM number the map does not know names no device.
    QTest::keyClick(list, Qt::Key_End);
    EXPECT_EQ(device->text(), QString());

    QTest::keyClick(list, Qt::Key_Home);
    ASSERT_TRUE(sheet.PressOk());
    EXPECT_EQ(page.m_strPort, QStringLiteral("COM1"));
    EXPECT_EQ(CPSSelectPort::PortNumberFromName(page.m_strPort), 1);
}

}  // namespace
