// The modem channel's Dial sheet on a real pty with the simulated modem behind it: the chosen
// entry is dialed with the channel's prefix and dial mode; Cancel and an empty dial string
// send nothing.
#include "app/modem_dial_sheet.h"
#include "channels/doc_modem.h"
#include "platform/sim_modem.h"
#include "platform/ticks.h"
#include "setup/dial_list.h"
#include "setup/dlg_dial_number.h"
#include "setup/page_message_box.h"
#include "setup/property_sheet.h"
#include "tests/support/mapped_port.h"
#include "tests/support/modem_sim_pty.h"
#include "tests/support/next_sheet.h"
#include "tests/support/pty_pair.h"

#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace tolvan::app {
namespace {

constexpr std::int16_t kCom = 2;

class ModemDialSheet : public ::testing::Test {
protected:
    void SetUp() override {
        previousHook = kerdal::SetPageMessageHook([this](const kerdal::MessageRequest& r) {
            messages.push_back(r.text.toStdString());
            return kerdal::kIdNo;
        });
        ASSERT_EQ(port.Map(kCom, pty.slavePath(), locks.path()), 1);
        ASSERT_EQ(modem.ConnectToPort(kCom, 9600, 'N', 8, 1), 0);

        // The channel's phone list: Office, Home and an entry without a dial string.
        auto made = classCDocDialList.createObject();
        auto* list = dynamic_cast<CDocDialList*>(made.get());
        ASSERT_NE(list, nullptr);
        for (const tagDialEntry& e : {tagDialEntry{"Office", "5551234"},
                                      tagDialEntry{"Home", "777"}, tagDialEntry{"Blank", ""}})
            list->AddNode(&e);
        listPath = dir.filePath("phonenum.lst").toStdString();
        ASSERT_TRUE(list->OnSaveDocument(listPath));
        modem.Mode().strPhoneList = listPath;
    }
    void TearDown() override {
        EXPECT_TRUE(runner.Healthy());
        runner.Stop();
        modem.CloseConnection();
        kerdal::SetPageMessageHook(previousHook);
    }

    // Runs the sheet, chooses the entry with that comment and presses OK (or Cancel).
    int DialFromSheet(const QString& comment, bool ok = true) {
        QString caption;
        QObject guard;
        tolvan::test::OnNextSheet(
            &guard,
            [&](kerdal::PropertySheet& sheet) {
                caption = sheet.windowTitle();
                auto* page = dynamic_cast<CDlgDialNumber*>(sheet.GetPage(0));
                ASSERT_NE(page, nullptr);
                const auto found = page->m_ctlList->findItems(comment, Qt::MatchExactly);
                EXPECT_EQ(found.size(), 1);
                if (!found.isEmpty())
                    page->m_ctlList->setCurrentItem(found.front(),
                                                    QItemSelectionModel::ClearAndSelect);
            },
            ok ? tolvan::test::AfterWork::PressOk : tolvan::test::AfterWork::PressCancel);
        const int result = RunModemDialSheet(modem, nullptr);
        EXPECT_EQ(caption, "Dial");
        return result;
    }

    kerdal::MessageHook previousHook;
    std::vector<std::string> messages;
    QTemporaryDir dir;
    std::string listPath;
    test::ScratchDir locks;
    test::PtyPair pty;
    plat::HayesModemSim sim{plat::SimModemOptions{plat::SimDialAnswer::Busy}};
    test::ModemSimPtyRunner runner{pty.master(), sim};
    test::MappedPort port;
    CDocModem modem;
};

TEST_F(ModemDialSheet, DialsTheChosenEntryOnlyOnOkWithADialString) {
    EXPECT_EQ(DialFromSheet("Office"), kerdal::kIdOk);
    EXPECT_EQ(DialFromSheet("Home", false), kerdal::kIdCancel);
    EXPECT_EQ(DialFromSheet("Blank"), kerdal::kIdOk);
    modem.SetPulseDial(1);
    modem.Settings().strDialSuffix = ";";
    EXPECT_EQ(DialFromSheet("Home"), kerdal::kIdOk);

    // The modem saw exactly the two dials: Cancel and the empty dial string sent nothing.
    ASSERT_TRUE(plat::WaitFor([&] { return sim.CommandLines().size() >= 2; }, 5000));
    EXPECT_EQ(sim.CommandLines(), (std::vector<std::string>{"DT5551234", "DP777;"}));
    EXPECT_EQ(sim.LastDialed(), "P777");
    EXPECT_TRUE(messages.empty()) << "choosing an entry leaves the list unmodified: "
                                  << messages.front();
}

}  // namespace
}  // namespace tolvan::app
