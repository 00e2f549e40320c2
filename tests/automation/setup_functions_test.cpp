// The setup library's Setup functions against the real server program on a private bus:
// the client's dispatch driver carries the calls, the sheets are real widgets (offscreen),
// and what the channel ends up with is asked from the server afterwards.

#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "setup/property_sheet.h"
#include "setup/setup_functions.h"
#include "tests/automation/bus_fixture.h"
#include "tests/automation/server_process.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using kerdal::PropertySheet;
using tolvan::test::PrivateBus;
using tolvan::test::ServerProcess;

// The sheets need a widget application; made before any test so that the bus helpers,
// which make a plain one on first use, find it.
class WidgetApplication : public ::testing::Environment {
public:
    void SetUp() override {
        if (QCoreApplication::instance()) return;
        if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_automation";
        static char* argv[] = {name, nullptr};
        // Kept to the end of the process, like the helpers' own application object.
        static QApplication* app = new QApplication(argc, argv);
        (void)app;
    }
};

[[maybe_unused]] ::testing::Environment* const kWidgets =
    ::testing::AddGlobalTestEnvironment(new WidgetApplication);

// The channel as the Setup functions see it, passing every call on to the real driver and
// keeping what was called with which arguments and what came back.
class RecordingChannel : public kerdal::SetupChannel {
public:
    explicit RecordingChannel(tdbus::DispatchDriver& driver) : driver_(driver) {}

    struct Call {
        std::int32_t dispid;
        std::vector<tfw::Variant> args;
        tfw::Variant result;
    };
    std::vector<Call> calls;

    bool Invoke(std::int32_t dispid, std::uint16_t flags, std::vector<tfw::Variant>& args,
                tfw::Variant& result) override {
        const bool ok = driver_.Invoke(dispid, flags, args, result);
        calls.push_back({dispid, args, result});
        return ok;
    }
    std::vector<std::int32_t> Ids() const {
        std::vector<std::int32_t> ids;
        for (const Call& c : calls) ids.push_back(c.dispid);
        return ids;
    }

private:
    tdbus::DispatchDriver& driver_;
};

constexpr std::int32_t kDerived = kDerivedDispIdStep;

class SetupFunctionsTest : public ::testing::Test {
protected:
    // Starts the server with `ports` as its [Ports] section (automatic numbering off).
    void StartServer(const std::string& ports) {
        bus_ = std::make_unique<PrivateBus>();
        const std::string profile = bus_->Dir() + "/tolvan32.ini";
        std::ofstream(profile) << "[Ports]\nAuto=0\n" << ports;
        server_ = std::make_unique<ServerProcess>(*bus_);
        server_->Start(profile);
    }

    std::unique_ptr<tdbus::DispatchDriver> NewChannel(const char* progId) {
        auto driver = std::make_unique<tdbus::DispatchDriver>(bus_->Connect());
        EXPECT_TRUE(driver->CreateDispatch(QString::fromLatin1(progId)))
            << driver->LastError().message.toStdString();
        return driver;
    }

    // Runs `setup` (which shows a modal sheet); `user` acts on the sheet once it is up.
    std::int16_t Run(const std::function<std::int16_t()>& setup,
                     const std::function<void(PropertySheet&)>& user) {
        sheetShown_ = false;
        QObject guard;
        QTimer::singleShot(0, &guard, [&] {
            auto* sheet = qobject_cast<PropertySheet*>(QApplication::activeModalWidget());
            if (!sheet) return;
            sheetShown_ = true;
            user(*sheet);
        });
        return setup();
    }

    static void Press(PropertySheet& sheet, int button) {
        auto* b = sheet.findChild<QPushButton*>(QString::number(button));
        ASSERT_NE(b, nullptr);
        b->click();
    }

    struct Settings {
        std::int16_t port = 0;
        std::int32_t baud = 0;
        std::int16_t parity = 0, wordLength = 0, stopBits = 0;
        bool dtrDsr = false, rtsCts = false, xonXoff = false;
    };
    // What the server says the channel is connected with (`step`: 0 plain, kDerived else).
    static Settings Ask(tdbus::DispatchDriver& channel, std::int32_t step = 0) {
        Settings s;
        const tfw::Variant known =
            channel.InvokeHelper(step + kDispGetPortSettings, tfw::kDispatchMethod, &s.baud,
                                 &s.parity, &s.wordLength, &s.stopBits);
        EXPECT_EQ(known, tfw::Variant::Bool(true)) << "not connected";
        const tfw::Variant port =
            channel.InvokeHelper(step + kDispGetPortNumber, tfw::kDispatchMethod);
        s.port = port.Type() == tfw::VarType::I2 ? port.AsI2() : -1;
        channel.InvokeHelper(step + kDispGetFlowControl, tfw::kDispatchMethod, &s.dtrDsr, &s.rtsCts,
                             &s.xonXoff);
        return s;
    }

    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<ServerProcess> server_;
    bool sheetShown_ = false;
};

}  // namespace

TEST_F(SetupFunctionsTest, CommPortOffersTheServersPortsAndConnectsWithTheChoiceOrTheDefaults) {
    StartServer("COM1=loop://one\nCOM2=loop://two\n");

    // Cancelled: still connected, with COM2, 9600, N, 8, 1 and no handshaking.
    auto cancelled = NewChannel("RiVo32.Document");
    QStringList offered;
    EXPECT_EQ(Run([&] { return SetupCommPort(cancelled.get(), "Connect", 0); },
                  [&](PropertySheet& sheet) {
                      EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Connect"));
                      auto* ports = sheet.findChild<QComboBox*>(QStringLiteral("1005"));
                      ASSERT_NE(ports, nullptr);
                      for (int i = 0; i < ports->count(); ++i) offered << ports->itemText(i);
                      ports->setCurrentIndex(0);
                      Press(sheet, kerdal::kIdCancel);
                  }),
              0);
    EXPECT_TRUE(sheetShown_);
    EXPECT_EQ(offered, (QStringList{"COM1", "COM2"}));
    const Settings defaults = Ask(*cancelled);
    EXPECT_EQ(defaults.port, 2);
    EXPECT_EQ(defaults.baud, 9600);
    EXPECT_EQ(defaults.parity, 'N');
    EXPECT_EQ(defaults.wordLength, 8);
    EXPECT_EQ(defaults.stopBits, 1);
    EXPECT_FALSE(defaults.dtrDsr || defaults.rtsCts || defaults.xonXoff);

    // Accepted: the chosen port, line settings and handshaking reach the channel.
    auto chosen = NewChannel("RiVo32.Document");
    EXPECT_EQ(Run([&] { return SetupCommPort(chosen.get(), "Connect", 0); },
                  [&](PropertySheet& sheet) {
                      sheet.findChild<QComboBox*>(QStringLiteral("1005"))->setCurrentIndex(0);
                      ASSERT_TRUE(sheet.SetActivePage(1));
                      auto* parity = sheet.findChild<QComboBox*>(QStringLiteral("1002"));
                      parity->setCurrentIndex(parity->findText(QStringLiteral("Even")));
                      ASSERT_NE(parity->currentIndex(), -1);
                      sheet.findChild<QCheckBox*>(QStringLiteral("1027"))->click();
                      Press(sheet, kerdal::kIdOk);
                  }),
              0);
    const Settings picked = Ask(*chosen);
    EXPECT_EQ(picked.port, 1);
    EXPECT_EQ(picked.parity, 'E');
    EXPECT_TRUE(picked.rtsCts);
    EXPECT_FALSE(picked.dtrDsr);
}

TEST_F(SetupFunctionsTest, AFailedConnectionIsReturnedAndNoFlowControlFollows) {
    StartServer("COM1=loop://one\n");  // no COM2: the defaults after a cancel cannot connect

    auto driver = NewChannel("RiVo32.Document");
    RecordingChannel channel(*driver);
    const std::int16_t status =
        Run([&] { return SetupCommPort(&channel, "Connect", 1); },
            [&](PropertySheet& sheet) {
                ASSERT_EQ(sheet.GetPageCount(), 1);  // the port is fixed: no port page
                Press(sheet, kerdal::kIdCancel);
            });
    EXPECT_TRUE(sheetShown_);
    ASSERT_EQ(channel.Ids(),
              (std::vector<std::int32_t>{kDispGetAvailableCOMM, kDispConnectToPort}));
    const auto& connect = channel.calls[1];
    EXPECT_EQ(connect.args[0], tfw::Variant::I2(2));
    EXPECT_NE(status, 0);
    EXPECT_EQ(tfw::Variant::I2(status), connect.result);

    // A channel that cannot be reached gives the call failure, and no sheet.
    driver->ReleaseDispatch();
    channel.calls.clear();
    EXPECT_EQ(Run([&] { return SetupCommPort(&channel, "Connect", 0); },
                  [&](PropertySheet& sheet) { Press(sheet, kerdal::kIdOk); }),
              kerdal::kSetupCallFailed);
    EXPECT_FALSE(sheetShown_);
    EXPECT_EQ(channel.Ids(), std::vector<std::int32_t>{kDispGetAvailableCOMM});
}

TEST_F(SetupFunctionsTest,
       ModemAndInfraRedUseTheDerivedIdentifiersAndInfraRedAlwaysSendsEightAndOne) {
    StartServer("COM1=loop://one\nCOM2=loop://two\n");

    auto modemDriver = NewChannel("DaRi32.Document");
    RecordingChannel modem(*modemDriver);
    EXPECT_EQ(Run([&] { return SetupModem(&modem, "Modem", 0); },
                  [&](PropertySheet& sheet) {
                      ASSERT_EQ(sheet.GetPageCount(), 3);
                      ASSERT_TRUE(sheet.SetActivePage(1));
                      auto* wordLength = sheet.findChild<QComboBox*>(QStringLiteral("1003"));
                      wordLength->setCurrentIndex(wordLength->findText(QStringLiteral("7")));
                      sheet.findChild<QCheckBox*>(QStringLiteral("1026"))->click();
                      Press(sheet, kerdal::kIdOk);
                  }),
              0);
    EXPECT_EQ(modem.Ids(), (std::vector<std::int32_t>{kDerived + kDispGetAvailableCOMM,
                                                      kDerived + kDispConnectToPort,
                                                      kDerived + kDispSetFlowControl}));
    const Settings modemSettings = Ask(*modemDriver, kDerived);
    EXPECT_EQ(modemSettings.port, 2);
    EXPECT_EQ(modemSettings.wordLength, 7);
    EXPECT_TRUE(modemSettings.dtrDsr);

    auto irDriver = NewChannel("ViDA.Document");
    RecordingChannel ir(*irDriver);
    Run([&] { return SetupIR(&ir, "Infra-red", 0); },
        [&](PropertySheet& sheet) {
            ASSERT_EQ(sheet.GetPageCount(), 2);
            ASSERT_TRUE(sheet.SetActivePage(1));
            auto* rate = sheet.findChild<QComboBox*>(QStringLiteral("1001"));
            rate->setCurrentIndex(rate->findText(QStringLiteral("19200")));
            Press(sheet, kerdal::kIdOk);
        });
    ASSERT_EQ(ir.Ids(), (std::vector<std::int32_t>{kDerived + kDispGetAvailableCOMM,
                                                   kDerived + kDispConnectToPort}));
    const std::vector<tfw::Variant> expected{tfw::Variant::I2(2), tfw::Variant::I4(19200),
                                             tfw::Variant::I2(1), tfw::Variant::I2(8),
                                             tfw::Variant::I2(1)};
    EXPECT_EQ(ir.calls[1].args, expected);
}
