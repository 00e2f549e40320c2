// Activation files: their text, the quoting of the command line, and the bus starting the
// program they name when a client asks for a class that no running program serves.
#include "automation/activation_files.h"
#include "automation/client/dispatch_driver.h"
#include "tests/automation/bus_fixture.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace tolvan::test {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Splits an Exec line the way a POSIX shell does (the bus follows the same rules).
QStringList SplitLikeAShell(const std::string& line) {
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf '%s\\n' ") +
                                                                   QString::fromStdString(line)});
    sh.waitForFinished(10000);
    return QString::fromUtf8(sh.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

TEST(ActivationFiles, ExecLineKeepsEveryWordWhole) {
    EXPECT_EQ(tdbus::ExecLine("/usr/bin/tolvan32", {"-Automation"}),
              "/usr/bin/tolvan32 -Automation");
    const std::string line = tdbus::ExecLine(
        "/opt/my apps/tolvan32", {"--profile", "/home/o'neil/$HOME/a\"b.ini", "", "-Automation"});
    EXPECT_EQ(SplitLikeAShell(line), (QStringList{"/opt/my apps/tolvan32", "--profile",
                                                  "/home/o'neil/$HOME/a\"b.ini", "-Automation"}));
    EXPECT_NE(line.find("''"), std::string::npos);  // the empty word is kept, quoted
}

TEST(ActivationFiles, WritesOneFilePerBusNameAndReportsFailures) {
    PrivateBus scratch;  // only for its folder
    const std::string dir = scratch.Dir() + "/data/dbus-1/services";
    std::string error;
    ASSERT_TRUE(tdbus::WriteActivationFiles("/usr/bin/tolvan32", {"-Automation"}, dir, &error))
        << error;
    EXPECT_EQ(ReadText(dir + "/RiVo32.Document.service"),
              "[D-BUS Service]\nName=RiVo32.Document\nExec=/usr/bin/tolvan32 -Automation\n");
    EXPECT_EQ(ReadText(dir + "/DaRi32.Document.service"),
              "[D-BUS Service]\nName=DaRi32.Document\nExec=/usr/bin/tolvan32 -Automation\n");
    EXPECT_EQ(ReadText(dir + "/ViDA.Document.service"),
              "[D-BUS Service]\nName=ViDA.Document\nExec=/usr/bin/tolvan32 -Automation\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/ViDA.Document.service.new"));

    // A new program path replaces the old text.
    ASSERT_TRUE(tdbus::WriteActivationFiles("/opt/tolvan32", {"-Automation"}, dir, &error));
    EXPECT_NE(ReadText(dir + "/RiVo32.Document.service").find("Exec=/opt/tolvan32 -Automation"),
              std::string::npos);

    // A folder that cannot be made.
    std::ofstream(scratch.Dir() + "/plainfile") << "x";
    EXPECT_FALSE(tdbus::WriteActivationFiles("/usr/bin/tolvan32", {},
                                             scratch.Dir() + "/plainfile/sub", &error));
    EXPECT_NE(error.find("plainfile"), std::string::npos);
}

TEST(ActivationFiles, DefaultFolderFollowsXdgDataHome) {
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_DATA_HOME", "/tmp/xdg-test-home", 1);
    EXPECT_EQ(tdbus::UserServicesDir(), "/tmp/xdg-test-home/dbus-1/services");
    unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    EXPECT_EQ(tdbus::UserServicesDir(),
              std::string(home ? home : "") + "/.local/share/dbus-1/services");
    if (old) setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

// A stand-in program for the bus to start: it records its arguments, takes the name and
// answers one CreateInstance.
const char* const kStandIn =
    "import os, dbus, dbus.service\n"
    "from dbus.mainloop.glib import DBusGMainLoop\n"
    "from gi.repository import GLib\n"
    "DBusGMainLoop(set_as_default=True)\n"
    "bus = dbus.bus.BusConnection(os.environ['DBUS_STARTER_ADDRESS'])\n"
    "loop = GLib.MainLoop()\n"
    "class Factory(dbus.service.Object):\n"
    "    @dbus.service.method('Tolvan32.ClassFactory', in_signature='', out_signature='o')\n"
    "    def CreateInstance(self):\n"
    "        GLib.timeout_add(200, loop.quit)\n"
    "        return '/Channels/42'\n"
    "name = dbus.service.BusName('RiVo32.Document', bus)\n"
    "Factory(bus, '/')\n"
    "loop.run()\n";

TEST(ActivationFiles, BusStartsTheNamedProgramForACreateDispatch) {
    PrivateBus bus;
    const std::string binDir = bus.Dir() + "/my programs";
    std::filesystem::create_directories(binDir);
    std::ofstream(binDir + "/stand_in.py") << kStandIn;
    const std::string program = binDir + "/fake server";
    std::ofstream(program) << "#!/bin/sh\n"
                              "printf '%s\\n' \"$@\" > \""
                           << bus.Dir() << "/args\"\n"
                           << "exec " << PythonProgram().toStdString() << " \"" << binDir
                           << "/stand_in.py\"\n";
    chmod(program.c_str(), 0755);

    std::string error;
    ASSERT_TRUE(tdbus::WriteActivationFiles(
        program, {"--profile", bus.Dir() + "/a b.ini", "-Automation"}, bus.ServicesDir(), &error))
        << error;

    QString path;
    tdbus::DispatchError failure;
    ASSERT_TRUE(RunClient([&] {
        tdbus::DispatchDriver driver(bus.Connect());
        if (driver.CreateDispatch(QStringLiteral("RiVo32.Document"))) path = driver.Path();
        failure = driver.LastError();
    }));
    EXPECT_EQ(path, QStringLiteral("/Channels/42")) << failure.message.toStdString();
    EXPECT_EQ(ReadText(bus.Dir() + "/args"), "--profile\n" + bus.Dir() + "/a b.ini\n-Automation\n");

    // No activation file for a name: the call fails, it does not hang.
    ASSERT_TRUE(RunClient([&] {
        tdbus::DispatchDriver driver(bus.Connect());
        EXPECT_FALSE(driver.CreateDispatch(QStringLiteral("No.Such.Document")));
        EXPECT_EQ(driver.LastError().name,
                  QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"));
        EXPECT_FALSE(driver.IsAttached());
    }));
}

}  // namespace
}  // namespace tolvan::test
