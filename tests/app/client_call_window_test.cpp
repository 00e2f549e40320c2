// A client's call that waits leaves the server's window working: the window thread reads
// the waiting channel's buffers meanwhile, another client is served, and what the calls do
// reaches the channel's views on the window thread.
#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_splitter.h"
#include "app/tolvan_app.h"
#include "app/view_buffer_info.h"
#include "framework/document.h"
#include "platform/device_map.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

const QString kPlain = QStringLiteral("RiVo32.Document");

bool SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > 20000) return false;  // only when the test fails
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

class ClientCallWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvan-call-window-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const std::string profile = (dir_ / "t.ini").string();
        std::ofstream(profile) << "[Ports]\nAuto=0\nCOM1=loop://\n";
        plat::DeviceMap::Clear();
        CommandLine line;
        line.automation = true;
        line.profilePath = profile;
        ASSERT_TRUE(app_.InitInstance(line, {{}, false, false}));
        a_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "call-window-a");
        b_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "call-window-b");
        ASSERT_TRUE(a_.isConnected() && b_.isConnected());
    }
    void TearDown() override {
        app_.ExitInstance();
        QDBusConnection::disconnectFromBus("call-window-a");
        QDBusConnection::disconnectFromBus("call-window-b");
        plat::DeviceMap::Clear();
        fs::remove_all(dir_);
    }
    static QDBusPendingCall Send(QDBusConnection& client, const QString& path, const QString& iface,
                                 const QString& member, const QVariantList& args = {}) {
        QDBusMessage msg = QDBusMessage::createMethodCall(kPlain, path, iface, member);
        msg.setArguments(args);
        return client.asyncCall(msg, 30000);
    }
    static QDBusMessage Wait(QDBusPendingCall pending) {
        EXPECT_TRUE(SpinUntil([&] { return pending.isFinished(); }));
        EXPECT_EQ(pending.reply().type(), QDBusMessage::ReplyMessage)
            << pending.reply().errorMessage().toStdString();
        return pending.reply();
    }
    QString ConnectedChannel(QDBusConnection& client) {
        const QDBusMessage made =
            Wait(Send(client, "/", "Tolvan32.ClassFactory", "CreateInstance"));
        const QString path = made.arguments().value(0).value<QDBusObjectPath>().path();
        const QDBusMessage connected =
            Wait(Send(client, path, kPlain, "ConnectToPort",
                      {QVariant::fromValue<short>(1), 9600, QVariant::fromValue<short>('N'),
                       QVariant::fromValue<short>(8), QVariant::fromValue<short>(1)}));
        EXPECT_EQ(connected.arguments().value(0).toInt(), 0);
        return path;
    }

    fs::path dir_;
    CAppComm app_;
    QDBusConnection a_{QString()};
    QDBusConnection b_{QString()};
};

TEST_F(ClientCallWindowTest, WaitingReadLeavesTheWindowWorkingAndItsViewsFollow) {
    const QString pathA = ConnectedChannel(a_);
    const QString pathB = ConnectedChannel(b_);
    ASSERT_EQ(app_.Channels().size(), 2u);
    tfw::CDocument* channelA = app_.Channels().front();
    ASSERT_TRUE(app_.ShowChannel(*channelA));
    auto* frame =
        qobject_cast<CMDIFrameSplitter*>(app_.MainFrame()->MdiArea()->subWindowList().value(0));
    ASSERT_NE(frame, nullptr);
    CViewBufferInfo* info = frame->InfoView();
    ASSERT_TRUE(SpinUntil([&] { return info->FieldText(ctl::UsedField) == "0"; }));

    QDBusPendingCall read = Send(a_, pathA, kPlain, "ReadCharFromPortTimed", {5000});
    ASSERT_TRUE(SpinUntil([&] { return app_.Server()->CallsUnderWay() == 1; }));

    // The user turns the view to the other buffer and back: the window thread reads the
    // channel's buffers while the client's read waits in it.
    info->OutputButton()->click();
    EXPECT_EQ(info->Selector(), BufferSide::Transmit);
    info->InputButton()->click();
    EXPECT_EQ(info->FieldText(ctl::SizeField), "1050");
    EXPECT_FALSE(read.isFinished());

    // Another client's bytes go round the loop to both channels; the read takes the first.
    EXPECT_EQ(Wait(Send(b_, pathB, kPlain, "WriteToPort",
                        {QByteArray("QR"), QVariant::fromValue<short>(2)}))
                  .arguments()
                  .value(0)
                  .toInt(),
              2);
    EXPECT_EQ(Wait(read).arguments().value(0).toInt(), 'Q');
    // The read's view update reached the window: one byte is left in the buffer.
    EXPECT_TRUE(SpinUntil([&] { return info->FieldText(ctl::UsedField) == "1"; }))
        << info->FieldText(ctl::UsedField).toStdString();
    EXPECT_EQ(channelA->GetTitle(), "COM1:9600,N,8,1. Name: RiVo321");
}

}  // namespace
}  // namespace tolvan::app
