// The server numbers serial devices by their stable names and writes the numbers to its
// profile: a device plugged in while it runs is numbered at once, a restart keeps every
// number, and a number stays its device's while that device is away. Devices are links to
// ptys in a device folder of the test's (the profile's DeviceRoot).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "app/dlg_list_channels.h"
#include "app/tolvan_app.h"
#include "channels/doc_comm.h"
#include "framework/profile.h"
#include "platform/device_map.h"
#include "platform/serial_api.h"
#include "platform/server_lock.h"
#include "ports/port_registry.h"
#include "tests/support/pty_pair.h"

namespace tolvan::app {
namespace {

// Runs the event loop until done() or five seconds passed.
bool Eventually(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class DeviceNumbers : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetLockDirectory(scratch_.path());
        ASSERT_EQ(::mkdir(dev_.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((dev_ + "/serial").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(byId_.c_str(), 0755), 0);
        std::ofstream(profile_) << "[Ports]\nDeviceRoot=" << dev_ << "\n\n[COMM]\nBaudRate=9600\n";
    }
    void TearDown() override {
        Stop();
        plat::DeviceMap::Clear();
        plat::SetLockDirectory("/var/lock");
    }

    // A fresh process as far as the device map goes.
    void Start() {
        plat::DeviceMap::Clear();
        app_ = std::make_unique<CAppComm>();
        CommandLine line;
        line.automation = true;
        line.profilePath = profile_;
        ASSERT_TRUE(app_->InitInstance(line, {{}, false, false}));
    }
    void Stop() {
        if (!app_) return;
        app_->ExitInstance();
        app_.reset();
    }
    std::string Link(const std::string& name, const test::PtyPair& pty) {
        const std::string path = byId_ + "/" + name;
        EXPECT_EQ(::symlink(pty.slavePath().c_str(), path.c_str()), 0);
        return path;
    }
    // The entry as saved on disk.
    std::string Saved(int com) {
        tfw::CProfile saved;
        saved.Load(profile_);
        return saved.GetString("Ports", "COM" + std::to_string(com));
    }
    // A channel as a client makes one (no window).
    CDocComm* CreateChannel() {
        tdbus::HostedChannel* hosted = app_->CreateChannel(tdbus::ChannelClass::Plain);
        return hosted ? dynamic_cast<CDocComm*>(&hosted->Target()) : nullptr;
    }
    // What View > Channels... lists (the dialog is cancelled).
    QStringList ListedChannels() {
        QStringList seen;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CDlgListChannels*>(QApplication::activeModalWidget());
            if (!dialog) return;
            for (int i = 0; i < dialog->List()->count(); ++i)
                seen << dialog->List()->item(i)->text();
            dialog->reject();
        });
        app_->ShowChannelList();
        return seen;
    }
    bool HasPort(int com) {
        app_->Registry().WaitForProbe();  // the start-up probe runs on its own thread
        plat::ServerLockGuard lock;
        return app_->Registry().FindPort(com) != nullptr;
    }

    test::ScratchDir scratch_;
    std::string dev_ = scratch_.path() + "/dev";
    std::string byId_ = dev_ + "/serial/by-id";
    std::string profile_ = scratch_.path() + "/t.ini";
    std::unique_ptr<CAppComm> app_;
};

TEST_F(DeviceNumbers, KeptAcrossRestartsAndWhileAwayNewOnesNumberedWhileRunning) {
    test::PtyPair a, b;
    const std::string nameA = Link("usb-Alpha-if00", a);
    const std::string nameB = Link("usb-Beta-if00", b);
    Start();
    EXPECT_EQ(Saved(1), nameA) << "numbered at start and saved at once";
    EXPECT_EQ(Saved(2), nameB);
    EXPECT_TRUE(HasPort(1));
    EXPECT_TRUE(HasPort(2));

    test::PtyPair c;
    const std::string nameC = Link("usb-Gamma-if00", c);
    ASSERT_TRUE(Eventually([&] { return Saved(3) == nameC; })) << "plugged in while running";
    EXPECT_TRUE(Eventually([&] { return HasPort(3); })) << "its port follows its number";
    Stop();

    // Alpha is unplugged and a new device comes before the next start: Alpha's number is
    // not the new one's.
    ASSERT_EQ(::unlink(nameA.c_str()), 0);
    a.CloseMaster();
    test::PtyPair d;
    const std::string nameD = Link("usb-Delta-if00", d);
    Start();
    EXPECT_EQ(Saved(1), nameA) << "kept while the device is away";
    EXPECT_EQ(Saved(2), nameB);
    EXPECT_EQ(Saved(3), nameC);
    EXPECT_EQ(Saved(4), nameD);
    EXPECT_FALSE(HasPort(1));
    EXPECT_TRUE(HasPort(4));

    // A channel on Delta while Delta is unplugged: still connected, marked in the list of
    // channels.
    CDocComm* channel = CreateChannel();
    ASSERT_NE(channel, nullptr);
    ASSERT_EQ(channel->ConnectToPort(4, 9600, 'N', 8, 1), 0);
    ASSERT_EQ(::unlink(nameD.c_str()), 0);
    d.CloseMaster();
    ASSERT_TRUE(Eventually([&] {
        plat::ServerLockGuard lock;
        return channel->Port()->DeviceLost();
    }));
    EXPECT_TRUE(channel->IsConnected());
    const QStringList listed = ListedChannels();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_TRUE(listed[0].endsWith(" - gone")) << listed[0].toStdString();
    test::PtyPair deltaBack;
    ASSERT_EQ(::symlink(deltaBack.slavePath().c_str(), nameD.c_str()), 0);
    ASSERT_TRUE(Eventually([&] {
        plat::ServerLockGuard lock;
        return !channel->Port()->DeviceLost();
    }));
    EXPECT_FALSE(ListedChannels()[0].endsWith(" - gone"));

    // Alpha back: its old number, at once.
    test::PtyPair again;
    ASSERT_EQ(::symlink(again.slavePath().c_str(), nameA.c_str()), 0);
    ASSERT_TRUE(Eventually([&] { return HasPort(1); }));
    EXPECT_EQ(Saved(5), "") << "no new number for a device that has one";

    // An entry the user edits stands: a number taken by hand is not given again.
    Stop();
    {
        tfw::CProfile edited;
        edited.Load(profile_);
        edited.DeleteKey("Ports", "COM3");
        edited.WriteString("Ports", "COM5", nameC);
        ASSERT_TRUE(edited.Save());
    }
    Start();
    EXPECT_EQ(Saved(3), "");
    EXPECT_EQ(Saved(5), nameC);
    EXPECT_TRUE(HasPort(5));
    EXPECT_FALSE(HasPort(3));
}

}  // namespace
}  // namespace tolvan::app
