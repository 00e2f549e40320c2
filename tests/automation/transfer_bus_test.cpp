// XMODEM reception started by a D-Bus client: the sender is lrzsz's sx on a real pty,
// progress and the end arrive as XferProgress signals carrying the client's window value,
// and the atom "ABORTXFER" added over /Server aborts the reception.
#include "automation/client/dispatch_driver.h"
#include "automation/contract/comm_members.h"
#include "channels/file_transfer.h"
#include "platform/atoms.h"
#include "tests/automation/server_fixture.h"
#include "tests/support/xmodem_sender.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QObject>

#include <mutex>
#include <optional>

namespace tolvan::test {
namespace {

constexpr std::int16_t kWindow = 0x1234;

// Collects the XferProgress signals delivered to this client; optionally adds the abort
// atom over the bus when the first progress report arrives.
class ProgressReceiver : public QObject {
    Q_OBJECT
public:
    struct Report {
        short window;
        int wParam;
        int lParam;
    };
    std::vector<Report> reports;
    bool ended = false;
    QDBusConnection* abortThrough = nullptr;

public Q_SLOTS:
    void OnProgress(short window, int wParam, int lParam) {
        reports.push_back({window, wParam, lParam});
        if (wParam != 1) ended = true;
        if (wParam == 1 && abortThrough) {
            QDBusMessage add = QDBusMessage::createMethodCall(
                QStringLiteral("RiVo32.Document"), QStringLiteral("/Server"),
                QStringLiteral("Tolvan32.Server"), QStringLiteral("GlobalAddAtom"));
            add << QStringLiteral("ABORTXFER");
            abortThrough->asyncCall(add);
            abortThrough = nullptr;
        }
    }
};

class TransferOnBus : public ServerOnBus {
protected:
    void SetUp() override {
        ServerOnBus::SetUp();
        plat::ClearAtomTable();
        sink_.emplace(server_->MakeTransferSink());
        host_->SetXModemFd(pty_.Slave());
        client_ = bus_->Connect();
    }
    void TearDown() override {
        EXPECT_TRUE(WaitForXModemThreads(std::chrono::seconds(30)));
        sink_.reset();
        plat::ClearAtomTable();
        ServerOnBus::TearDown();
    }
    std::optional<ScopedXferProgressSink> sink_;

    // Creates a channel, subscribes to its reports and starts the reception of `file`.
    std::int16_t Start(tdbus::DispatchDriver& ch, const std::string& file, std::int32_t length) {
        std::int16_t status = -999;
        EXPECT_TRUE(
            RunClient([&] { ASSERT_TRUE(ch.CreateDispatch(QStringLiteral("RiVo32.Document"))); }));
        EXPECT_TRUE(ch.ConnectXferProgress(&receiver_, SLOT(OnProgress(short, int, int))));
        EXPECT_TRUE(RunClient([&] {
            status =
                ch.InvokeHelper(kDispReceiveXModemFile, tfw::kDispatchMethod, file, length, kWindow)
                    .AsI2();
        }));
        return status;
    }

    XModemPty pty_;
    TempDir dir_;
    QDBusConnection client_{QString()};
    ProgressReceiver receiver_;
};

TEST_F(TransferOnBus, ReceptionReportsProgressAndEndToTheClientsWindow) {
    const std::vector<std::uint8_t> data = PatternBytes(3000, 7);
    WriteFileBytes(dir_.File("source"), data);
    SxSender sx(pty_, dir_.File("source"), false);

    std::optional<tdbus::DispatchDriver> ch;
    ch.emplace(client_);
    ASSERT_EQ(Start(*ch, dir_.File("received"), 3000), 0);
    ASSERT_TRUE(SpinUntil([&] { return receiver_.ended; }, 60000));
    int sxStatus = -1;
    ASSERT_TRUE(RunClient([&] { sxStatus = sx.Wait(); }));
    EXPECT_EQ(sxStatus, 0);

    ASSERT_GE(receiver_.reports.size(), 2u);
    int last = 0;
    for (std::size_t i = 0; i + 1 < receiver_.reports.size(); ++i) {
        const auto& r = receiver_.reports[i];
        EXPECT_EQ(r.window, kWindow);
        EXPECT_EQ(r.wParam, 1);
        EXPECT_GE(r.lParam, last);
        last = r.lParam;
    }
    EXPECT_EQ(last, 3072);  // 24 blocks of 128 bytes acknowledged
    const auto& end = receiver_.reports.back();
    EXPECT_EQ(end.window, kWindow);
    EXPECT_EQ(end.wParam, 0);
    EXPECT_EQ(end.lParam, 0);
    EXPECT_EQ(ReadFileBytes(dir_.File("received")), data);
    ASSERT_TRUE(RunClient([&] { ch.reset(); }));
}

TEST_F(TransferOnBus, AbortAtomAddedOverTheBusEndsTheReceptionWith605) {
    const std::vector<std::uint8_t> data = PatternBytes(400000, 3);
    WriteFileBytes(dir_.File("source"), data);
    SxSender sx(pty_, dir_.File("source"), false);
    receiver_.abortThrough = &client_;

    std::optional<tdbus::DispatchDriver> ch;
    ch.emplace(client_);
    ASSERT_EQ(Start(*ch, dir_.File("received"), -1), 0);
    ASSERT_TRUE(SpinUntil([&] { return receiver_.ended; }, 60000));
    EXPECT_EQ(receiver_.reports.back().wParam, -605);
    EXPECT_EQ(receiver_.reports.back().window, kWindow);
    // The blocks received before the abort are kept.
    const auto partial = ReadFileBytes(dir_.File("received"));
    EXPECT_LT(partial.size(), data.size());
    EXPECT_TRUE(std::equal(partial.begin(), partial.end(), data.begin()));

    // The atom is the client's to delete again.
    ASSERT_TRUE(RunClient([&] {
        auto call = [&](const char* member, const QVariant& arg) {
            QDBusMessage m = QDBusMessage::createMethodCall(
                QStringLiteral("RiVo32.Document"), QStringLiteral("/Server"),
                QStringLiteral("Tolvan32.Server"), QLatin1String(member));
            m << arg;
            return client_.call(m).arguments().value(0).toUInt();
        };
        const uint atom = call("GlobalFindAtom", QStringLiteral("abortxfer"));
        EXPECT_NE(atom, 0u);
        EXPECT_EQ(call("GlobalDeleteAtom", QVariant::fromValue<ushort>(atom)), 0u);
        EXPECT_EQ(call("GlobalFindAtom", QStringLiteral("ABORTXFER")), 0u);
        ch.reset();
    }));
    EXPECT_EQ(plat::GlobalFindAtom("ABORTXFER"), 0);
}

TEST_F(TransferOnBus, RefusedStartReportsNothingToTheClient) {
    std::optional<tdbus::DispatchDriver> ch;
    ch.emplace(client_);
    EXPECT_EQ(Start(*ch, dir_.File("no/such/folder/file"), -1), -602);
    // A report from a reception the client did not start (the user's) is not published.
    server_->EmitXferProgress(5, 0, 0);
    QDBusConnection probe = bus_->Connect();
    ASSERT_TRUE(RunClient([&] {
        QDBusMessage ping = QDBusMessage::createMethodCall(
            QStringLiteral("RiVo32.Document"), ch->Path(),
            QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
        EXPECT_EQ(probe.call(ping).type(), QDBusMessage::ReplyMessage);
    }));
    SpinUntil([] { return false; }, 50);  // let a wrongly sent signal arrive
    EXPECT_TRUE(receiver_.reports.empty());
    ASSERT_TRUE(RunClient([&] { ch.reset(); }));
}

}  // namespace
}  // namespace tolvan::test

#include "transfer_bus_test.moc"
