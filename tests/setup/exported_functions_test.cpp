// The library's exported query functions, driven as a user drives their modal sheets
// (offscreen platform): which pages come up, what comes back on OK, and that Cancel leaves
// the caller's record alone.

#include "query_test_support.h"

#include "setup/records/comm_param.h"
#include "setup/property_sheet.h"
#include "setup/ps_settings_port.h"
#include "setup/query_comm_param.h"
#include "setup/query_ir_param.h"
#include "setup/query_modem_connection_settings.h"
#include "setup/query_modem_param.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using kerdal::PropertySheet;
using page_test::Ctl;

namespace {

using page_test::Same;
using page_test::SheetAction;

class ExportedFunctionsTest : public page_test::QueryTest {
protected:
    static QStringList Captions(const PropertySheet& sheet) {
        QStringList captions;
        for (int i = 0; i < sheet.GetPageCount(); ++i) captions << sheet.GetPage(i)->Caption();
        return captions;
    }
    static void Choose(QComboBox* list, const QString& text) {
        const int index = list->findText(text);
        ASSERT_GE(index, 0) << "no item " << text.toStdString();
        list->setCurrentIndex(index);
    }
    static void Press(PropertySheet& sheet, int button) {
        Ctl<QPushButton>(&sheet, button)->click();
    }
};

QString Baud(long rate) {
    return CPSSettingsPort::BaudRateText(rate);
}

}  // namespace

TEST_F(ExportedFunctionsTest, CommSheetWithAFixedPortShowsOnlySettingsAndKeepsThePort) {
    AndCOMMParam record;
    record.nPort = 5;
    record.bPortFixed = 1;
    record.lBaudRate = 4800;
    record.chParity = 'E';
    record.bRtsCts = 1;
    const int result = Run([&] { return QueryCommParam("COM1,COM3", "Port", &record); },
                           [&](PropertySheet& sheet) {
                               EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Port"));
                               EXPECT_EQ(Captions(sheet), QStringList{QStringLiteral("Settings")});
                               // The page starts at the record's values and the record's
                               // handshaking.
                               EXPECT_EQ(Ctl<QComboBox>(&sheet, 1001)->currentText(), Baud(4800));
                               EXPECT_TRUE(Ctl<QCheckBox>(&sheet, 1027)->isChecked());
                               EXPECT_TRUE(Ctl<QCheckBox>(&sheet, 1026)->isEnabled());
                               Choose(Ctl<QComboBox>(&sheet, 1001), Baud(19200));
                               Ctl<QCheckBox>(&sheet, 1028)->click();
                               Press(sheet, kerdal::kIdOk);
                           });
    ASSERT_TRUE(sheetShown);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.nPort, 5);
    EXPECT_EQ(record.lBaudRate, 19200);
    EXPECT_EQ(record.chParity, 'E');
    EXPECT_EQ(record.nWordLen, 8);
    EXPECT_EQ(record.nStopBits, 1);
    EXPECT_EQ(record.bRtsCts, 1);
    EXPECT_EQ(record.bXonXoff, 1);
    EXPECT_EQ(record.bDtrDsr, 0);
}

TEST_F(ExportedFunctionsTest, CommSheetWithPortPageReturnsTheChosenPortNumberAndLineSettings) {
    AndCOMMParam record;
    record.nPort = 3;
    record.chParity = 'O';
    const int result = Run([&] { return QueryCommParam("COM1,COM3,COM10", "Port", &record); },
                           [&](PropertySheet& sheet) {
                               EXPECT_EQ(Captions(sheet), (QStringList{"Select Port", "Settings"}));
                               auto* ports = Ctl<QComboBox>(&sheet, 1005);
                               EXPECT_EQ(ports->currentText(), QStringLiteral("COM3"));
                               Choose(ports, QStringLiteral("COM10"));
                               ASSERT_TRUE(sheet.SetActivePage(1));
                               Choose(Ctl<QComboBox>(&sheet, 1003), QStringLiteral("7"));
                               Choose(Ctl<QComboBox>(&sheet, 1004), QStringLiteral("2"));
                               Press(sheet, kerdal::kIdOk);
                           });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.nPort, 10);
    EXPECT_EQ(record.chParity, 'O');
    EXPECT_EQ(record.nWordLen, 7);
    EXPECT_EQ(record.nStopBits, 2);
    EXPECT_EQ(record.lBaudRate, 9600);
    // The choices stay in the process-wide tables for the next sheet.
    const AndCommParam* params = DLLGetCommParam();
    EXPECT_EQ(params->GetWrdLen(params->GetCurWrdLen()), 7);
}

TEST_F(ExportedFunctionsTest, CancellingAnyQueryReturnsTwoAndLeavesTheRecordAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Every sheet is changed by the user before Cancel, on every page.
    const SheetAction changeAllThenCancel = [](PropertySheet& sheet) {
        for (int i = 0; i < sheet.GetPageCount(); ++i) {
            ASSERT_TRUE(sheet.SetActivePage(i));
            for (auto* box : sheet.GetPage(i)->findChildren<QComboBox*>())
                if (box->count() > 1)
                    box->setCurrentIndex((box->currentIndex() + 1) % box->count());
            for (auto* edit : sheet.GetPage(i)->findChildren<QLineEdit*>())
                edit->setText(QStringLiteral("7"));
            for (auto* check : sheet.GetPage(i)->findChildren<QCheckBox*>())
                if (check->isEnabled()) check->click();
        }
        Press(sheet, kerdal::kIdCancel);
    };

    // A fresh record given to `query`, cancelled, comes back as it was.
    const auto expectCancelKeeps = [&](auto record, auto query) {
        const auto before = record;
        EXPECT_EQ(Run([&] { return query("COM1,COM2,COM3", "q", &record); }, changeAllThenCancel),
                  2);
        EXPECT_TRUE(sheetShown);
        EXPECT_TRUE(Same(record, before));
    };
    expectCancelKeeps(AndCOMMParam{}, QueryCommParam);
    expectCancelKeeps(AndModemParam{}, QueryModemParam);
    expectCancelKeeps(AndIRParam{}, QueryIRParam);

    AndModemConnectionSettings connection;
    connection.mode.strPhoneList = dir.filePath("phones.lst").toStdString();
    connection.strDialString = "555";
    const AndModemConnectionSettings connectionBefore = connection;
    EXPECT_EQ(Run([&] { return QueryModemConnectionSettings("COM1,COM2,COM3", "d", &connection); },
                  changeAllThenCancel),
              2);
    EXPECT_TRUE(sheetShown);
    EXPECT_TRUE(Same(connection.param, connectionBefore.param));
    EXPECT_TRUE(Same(connection.mode, connectionBefore.mode));
    EXPECT_EQ(connection.strDialString, "555");
    EXPECT_EQ(connection.bAdvanced, 0);
}

TEST_F(ExportedFunctionsTest, ModemSheetCopiesTheModemPageBackAndAnEmptyDelayGivesZero) {
    AndModemParam record;
    record.bDtrDsr = 1;
    const int result =
        Run([&] { return QueryModemParam("COM2", "Modem", &record); },
            [&](PropertySheet& sheet) {
                EXPECT_EQ(Captions(sheet), (QStringList{"Select Port", "Settings", "Modem"}));
                EXPECT_EQ(sheet.GetPage(0)->HelpContext(), 0x20083u);
                EXPECT_EQ(sheet.GetPage(1)->HelpContext(), 0x20085u);
                ASSERT_TRUE(sheet.SetActivePage(2));
                auto* delay = Ctl<QLineEdit>(&sheet, 1034);
                EXPECT_EQ(delay->text(), QStringLiteral(","));
                EXPECT_EQ(Ctl<QLineEdit>(&sheet, 1030)->text(), QStringLiteral("AT&F1"));
                delay->clear();
                Ctl<QLineEdit>(&sheet, 1030)->setText(QStringLiteral("ATZ"));
                Ctl<QLineEdit>(&sheet, 1039)->setText(QStringLiteral("9"));
                Ctl<QCheckBox>(&sheet, 1041)->click();
                Press(sheet, kerdal::kIdOk);
            });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.chDelay, '\0');
    EXPECT_EQ(record.strInit, "ATZ");
    EXPECT_EQ(record.nMaxRedials, 9);
    EXPECT_EQ(record.bDtrHangUp, 1);
    EXPECT_EQ(record.strDialPrefix, "ATD");
    EXPECT_EQ(record.nConnectTime, 30);
    EXPECT_EQ(record.nPort, 2);
    EXPECT_EQ(record.bDtrDsr, 1);  // the settings page was never left: its start values
}

TEST_F(ExportedFunctionsTest, InfraRedSheetReturnsRateAndPortAndPassesTheLinkVariantThrough) {
    AndIRParam record;
    record.nLinkVariant = 0;
    record.nPort = 4;
    const int result =
        Run([&] { return QueryIRParam("COM2,COM4", "IR", &record); },
            [&](PropertySheet& sheet) {
                EXPECT_EQ(Captions(sheet), (QStringList{"Select Port", "Settings"}));
                EXPECT_EQ(Ctl<QComboBox>(&sheet, 1005)->currentText(), QStringLiteral("COM4"));
                Choose(Ctl<QComboBox>(&sheet, 1005), QStringLiteral("COM2"));
                ASSERT_TRUE(sheet.SetActivePage(1));
                Choose(Ctl<QComboBox>(&sheet, 1001), QStringLiteral("57600"));
                Press(sheet, kerdal::kIdOk);
            });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.nPort, 2);
    EXPECT_EQ(record.lBaudRate, 57600);
    EXPECT_EQ(record.nLinkVariant, 0);

    record.bPortFixed = 1;
    record.nPort = 7;
    EXPECT_EQ(Run([&] { return QueryIRParam("COM2", "IR", &record); },
                  [&](PropertySheet& sheet) {
                      EXPECT_EQ(Captions(sheet), QStringList{QStringLiteral("Settings")});
                      Press(sheet, kerdal::kIdOk);
                  }),
              1);
    EXPECT_EQ(record.nPort, 7);
    EXPECT_EQ(record.lBaudRate, 57600);
}

TEST_F(ExportedFunctionsTest,
       ConnectionSheetTakesTheChosenEntryAndTheAdvancedSheetOnlyWhenAccepted) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString list = dir.filePath("phones.lst");
    {
        QFile file(list);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "1 Office\r\n     0123\r\n     19200,E,7,2,H\r\n"
            "2 Home\r\n     0456\r\n     2400,N,8,1,F\r\n");
    }

    // Accepted without an entry chosen and without the advanced sheet: all kept.
    AndModemConnectionSettings record;
    record.mode.strPhoneList = list.toStdString();
    record.strDialString = "999";
    record.param.lBaudRate = 1200;
    EXPECT_EQ(
        Run([&] { return QueryModemConnectionSettings("COM1", "Dial", &record); },
            [&](PropertySheet& sheet) {
                EXPECT_EQ(Captions(sheet), (QStringList{"Select Port", "Select phone number "}));
                ASSERT_TRUE(sheet.SetActivePage(1));
                Ctl<QListWidget>(&sheet, 1053)->clearSelection();
                Press(sheet, kerdal::kIdOk);
            }),
        1);
    EXPECT_EQ(record.strDialString, "999");
    EXPECT_EQ(record.param.lBaudRate, 1200);
    EXPECT_EQ(record.param.nPort, 1);
    EXPECT_EQ(record.bAdvanced, 0);

    // An entry chosen, the advanced sheet cancelled once, then accepted with changes.
    record.param.bPortFixed = 1;
    bool advancedShown = false;
    EXPECT_EQ(
        Run([&] { return QueryModemConnectionSettings("COM1", "Dial", &record); },
            [&](PropertySheet& sheet) {
                EXPECT_EQ(Captions(sheet), QStringList{QStringLiteral("Select phone number ")});
                auto* numbers = Ctl<QListWidget>(&sheet, 1053);
                const auto office = numbers->findItems(QStringLiteral("Office"), Qt::MatchExactly);
                ASSERT_EQ(office.size(), 1);
                numbers->setCurrentItem(office.front(), QItemSelectionModel::ClearAndSelect);
                auto advancedDo = [&](bool accept, const QString& phoneList) {
                    QTimer::singleShot(0, &sheet, [&, accept, phoneList] {
                        auto* advanced =
                            qobject_cast<PropertySheet*>(QApplication::activeModalWidget());
                        ASSERT_TRUE(advanced && advanced != &sheet);
                        advancedShown = true;
                        EXPECT_EQ(advanced->windowTitle(),
                                  QStringLiteral("Advanced Modem Settings"));
                        EXPECT_EQ(Captions(*advanced),
                                  (QStringList{"Modem", "Work mode", "Modem Mode"}));
                        Ctl<QLineEdit>(advanced, 1031)->setText(QStringLiteral("ATDP"));
                        ASSERT_TRUE(advanced->SetActivePage(1));
                        Ctl<QLineEdit>(advanced, 1057)->setText(phoneList);
                        Press(*advanced, accept ? kerdal::kIdOk : kerdal::kIdCancel);
                    });
                    Ctl<QPushButton>(&sheet, 1004)->click();
                };
                advancedDo(false, QStringLiteral("never.lst"));
                advancedDo(true, QStringLiteral("other.lst"));
                // The list shown stays the one the call started with.
                EXPECT_EQ(numbers->count(), 2);
                Press(sheet, kerdal::kIdOk);
            }),
        1);
    EXPECT_TRUE(advancedShown);
    EXPECT_EQ(record.strDialString, "0123");
    EXPECT_EQ(record.param.lBaudRate, 19200);
    EXPECT_EQ(record.param.chParity, 'E');
    EXPECT_EQ(record.param.nWordLen, 7);
    EXPECT_EQ(record.param.nStopBits, 2);
    EXPECT_EQ(record.param.nPort, 1);
    EXPECT_EQ(record.bAdvanced, 1);
    EXPECT_EQ(record.param.strDialPrefix, "ATDP");
    EXPECT_EQ(record.mode.strPhoneList, "other.lst");
}
