// The profile's [Terminals]: channels made at start with a terminal each, linked by name,
// listed and shown like any other channel (the window names the terminal and its counts),
// keeping an automation-mode server up; the links go at exit.
#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_splitter.h"
#include "app/terminal_channels.h"
#include "app/tolvan_app.h"
#include "app/view_buffer_info.h"
#include "channels/doc_comm.h"
#include "framework/document.h"
#include "platform/device_map.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSignalSpy>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace tolvan::app {
namespace {

namespace fs = std::filesystem;

std::string ReadSome(int fd, std::size_t n, int quietMs) {
    std::string out;
    char buf[256];
    while (out.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, quietMs) <= 0) break;
        const ssize_t got = read(fd, buf, sizeof buf);
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

TEST(TerminalEntry, ValuesAreCheckedAndLinksPlaced) {
    std::string error;
    auto entry = ParseTerminalEntry("gps", "COM3, 4800, e, 7, 2, Lossless", &error);
    ASSERT_TRUE(entry) << error;
    EXPECT_EQ(entry->com, 3);
    EXPECT_EQ(entry->baud, 4800);
    EXPECT_EQ(entry->parity, 'E');
    EXPECT_EQ(entry->wordLength, 7);
    EXPECT_EQ(entry->stopBits, 2);
    EXPECT_TRUE(entry->lossless);
    entry = ParseTerminalEntry("radio", "COM1,9600,N,8,1", &error);
    ASSERT_TRUE(entry) << error;
    EXPECT_FALSE(entry->lossless);
    for (const char* bad :
         {"COM9,9600,N,8,1", "COM1,fast,N,8,1", "COM1,9600,X,8,1", "COM1,9600,N,9,1",
          "COM1,9600,N,8,3", "COM1,9600,N,8", "COM1,9600,N,8,1,lossy", "/dev/ttyS0,9600,N,8,1"}) {
        error.clear();
        EXPECT_FALSE(ParseTerminalEntry("x", bad, &error)) << bad;
        EXPECT_NE(error.find("[Terminals] x"), std::string::npos) << error;
    }
    EXPECT_EQ(TerminalLinkPath("/srv/ttyGPS"), "/srv/ttyGPS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        EXPECT_EQ(TerminalLinkPath("gps"), std::string(runtime) + "/tolvan32/gps");
    }
}

class TerminalChannelsStart : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tolvan-terminals-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime != nullptr) oldRuntime_ = runtime;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        profile_ = (dir_ / "t.ini").string();
        absolute_ = (dir_ / "ttyRADIO").string();
        std::ofstream(profile_)
            << "[Ports]\nAuto=0\nCOM1=loop://terminals-a\nCOM2=loop://terminals-b\n"
            << "\n[Terminals]\ngps=COM1,9600,N,8,1\n"
            << absolute_ << "=COM2,4800,N,8,1,lossless\n"
            << "broken=COM7,9600,N,8,1,sometimes\n";
        plat::DeviceMap::Clear();
        CommandLine line;
        line.automation = true;
        line.profilePath = profile_;
        ASSERT_TRUE(app_.InitInstance(line, {{}, false, false}));
    }
    void TearDown() override {
        app_.ExitInstance();
        plat::DeviceMap::Clear();
        if (oldRuntime_.empty())
            unsetenv("XDG_RUNTIME_DIR");
        else
            setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
        fs::remove_all(dir_);
    }
    std::string Link(const std::string& name) const { return (dir_ / "tolvan32" / name).string(); }

    fs::path dir_;
    std::string profile_;
    std::string absolute_;
    std::string oldRuntime_;
    CAppComm app_;
};

TEST_F(TerminalChannelsStart, ProfileTerminalsServeProgramsAndShowInTheirWindows) {
    // Two good entries made two channels; the broken one was skipped.
    ASSERT_EQ(app_.Channels().size(), 2u);
    EXPECT_EQ(app_.Channels()[0]->GetTitle(), "COM1:9600,N,8,1. Name: gps");
    ASSERT_TRUE(fs::is_symlink(Link("gps")));
    ASSERT_TRUE(fs::is_symlink(absolute_));
    EXPECT_EQ(fs::read_symlink(Link("gps")).string().rfind("/dev/pts/", 0), 0u);

    // A program opens the link by name and talks to the loop port through it.
    for (const std::string& path : {Link("gps"), absolute_}) {
        const int t = open(path.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(t, 0) << path;
        // The channel learns of the program a moment later: the loop answers once it has.
        std::string echoed;
        for (int i = 0; i < 200 && echoed.find("ping") == std::string::npos; ++i) {
            ASSERT_EQ(write(t, "ping", 4), 4);
            echoed += ReadSome(t, 4, 50);
        }
        EXPECT_NE(echoed.find("ping"), std::string::npos) << path;
        close(t);
    }

    // Shown from the list: the information view names the terminal and its counts.
    tfw::CDocument* gps = app_.Channels()[0];
    ASSERT_TRUE(app_.ShowChannel(*gps));
    CMDIFrameSplitter* frame = nullptr;
    for (QMdiSubWindow* w : app_.MainFrame()->MdiArea()->subWindowList())
        if (auto* f = qobject_cast<CMDIFrameSplitter*>(w)) frame = f;
    ASSERT_NE(frame, nullptr);
    auto* info = dynamic_cast<CViewBufferInfo*>(frame->InfoView());
    ASSERT_NE(info, nullptr);
    // The stream's reader learns of the program's close a moment after it.
    QString line;
    for (int i = 0; i < 500 && !line.contains(QStringLiteral("(closed)")); ++i) {
        if (i > 0) QThread::msleep(10);
        gps->UpdateAllViews(nullptr, 0);
        QCoreApplication::processEvents();
        line = info->FieldText(ctl::StreamField);
    }
    EXPECT_TRUE(line.startsWith(QString::fromStdString(fs::read_symlink(Link("gps")).string())))
        << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(" passed, "))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("(closed)"))) << line.toStdString();

    // A client coming and going does not end the server: the terminals still serve.
    QDBusConnection client =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "terminal-client");
    QSignalSpy quit(&app_, &CAppComm::QuitRequested);
    auto call = [&](const QString& path, const QString& iface, const QString& method) {
        QDBusPendingCall pending = client.asyncCall(
            QDBusMessage::createMethodCall(QStringLiteral("RiVo32.Document"), path, iface, method),
            5000);
        while (!pending.isFinished())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return pending.reply();
    };
    const QDBusMessage made =
        call(QStringLiteral("/"), QStringLiteral("Tolvan32.ClassFactory"), "CreateInstance");
    ASSERT_EQ(made.type(), QDBusMessage::ReplyMessage);
    ASSERT_EQ(app_.Channels().size(), 3u);
    const QVariant value = made.arguments().value(0);
    const QString path = value.canConvert<QDBusObjectPath>() ? value.value<QDBusObjectPath>().path()
                                                             : value.toString();
    EXPECT_EQ(call(path, QStringLiteral("Tolvan32.Unknown"), "Release").type(),
              QDBusMessage::ReplyMessage);
    QCoreApplication::processEvents();
    EXPECT_EQ(app_.Channels().size(), 2u);
    EXPECT_EQ(quit.count(), 0);
    QDBusConnection::disconnectFromBus("terminal-client");

    // At exit the links go.
    app_.ExitInstance();
    EXPECT_FALSE(fs::exists(fs::symlink_status(Link("gps"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(absolute_)));
}

}  // namespace
}  // namespace tolvan::app
