// The start-up probe runs on a thread of its own: the server starts, the window turns and a
// client's list of the ports waits (without the window waiting) until the probe has ended.
// The probe is held exactly where it tries its first device.
#include "app/tolvan_app.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

namespace tolvan::app {
namespace {

bool SpinUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(StartUpProbe, AClientsPortListWaitsForTheProbeAndTheWindowDoesNot) {
    test::ScratchDir dir;
    test::PtyPair one, three;
    const std::string profile = dir.path() + "/t.ini";
    std::ofstream(profile) << "[Ports]\nAuto=0\nCOM1=" << one.slavePath()
                           << "\nCOM3=" << three.slavePath() << "\n";
    plat::SetLockDirectory(dir.path());
    plat::DeviceMap::Clear();

    const auto window = std::this_thread::get_id();
    std::mutex m;
    std::condition_variable cv;
    bool held = false, gateOpen = false;
    plat::ScopedLockReleaseHook hook([&](plat::LockRelease point) {
        if (point != plat::LockRelease::kPortProbe || std::this_thread::get_id() == window) return;
        // The probe's thread, and the device watcher's when it rescans first: each waits at
        // the device it tries until the test opens the gate.
        std::unique_lock lock(m);
        held = true;
        cv.notify_all();
        cv.wait_for(lock, std::chrono::seconds(10), [&] { return gateOpen; });
    });
    auto open = [&] {
        std::lock_guard lock(m);
        gateOpen = true;
        cv.notify_all();
    };

    CAppComm app;
    CommandLine line;
    line.automation = true;
    line.profilePath = profile;
    ASSERT_TRUE(app.InitInstance(line, {{}, false, false}));
    EXPECT_TRUE(app.Registry().Probing()) << "the start waited for the probe";

    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "probe");
    QDBusPendingCall ports = client.asyncCall(QDBusMessage::createMethodCall(
        "RiVo32.Document", "/Server", "Tolvan32.Server", "ListPorts"));
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return held; }));
    }
    // The window answers other work meanwhile; the list waits for the probe.
    QDBusPendingCall channels = client.asyncCall(QDBusMessage::createMethodCall(
        "RiVo32.Document", "/Server", "Tolvan32.Server", "ListChannels"));
    const bool windowTurned = SpinUntil([&] { return channels.isFinished(); }, 5000);
    const bool listWaited = !ports.isFinished();
    open();
    EXPECT_TRUE(windowTurned) << "the window waited for the probe";
    EXPECT_TRUE(listWaited) << "the list did not wait for the probe";
    ASSERT_TRUE(SpinUntil([&] { return ports.isFinished(); }, 10000));
    const QDBusMessage reply = ports.reply();
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    const QString text = reply.arguments().value(0).value<QDBusArgument>().currentSignature();
    EXPECT_EQ(text, "a(nsbas)");
    const QDBusArgument list = reply.arguments().value(0).value<QDBusArgument>();
    std::vector<int> numbers;
    list.beginArray();
    while (!list.atEnd()) {
        qint16 number = 0;
        QString device;
        bool isOpen = false;
        QStringList users;
        list.beginStructure();
        list >> number >> device >> isOpen >> users;
        list.endStructure();
        numbers.push_back(number);
    }
    list.endArray();
    EXPECT_EQ(numbers, (std::vector<int>{1, 3}));
    QDBusConnection::disconnectFromBus("probe");
    app.ExitInstance();
    plat::DeviceMap::Clear();
}

}  // namespace
}  // namespace tolvan::app
