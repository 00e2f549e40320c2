#include "tests/automation/bus_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvan::test {

void EnsureQtApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "test_automation";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
}

bool SpinUntil(const std::function<bool()>& done, int limitMs) {
    EnsureQtApp();
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool RunClient(const std::function<void()>& client, int limitMs) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        client();
        finished = true;
    });
    const bool ok = SpinUntil([&] { return finished.load(); }, limitMs);
    // A client that did not finish still has to end before its captures go away.
    SpinUntil([&] { return finished.load(); }, 120000);
    worker.join();
    return ok;
}

PrivateBus::PrivateBus() {
    EnsureQtApp();
    char pattern[] = "/tmp/tolvan-bus-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) {
        ADD_FAILURE() << "no temporary folder";
        return;
    }
    dir_ = made;
    servicesDir_ = dir_ + "/services";
    std::filesystem::create_directories(servicesDir_);
    const std::string config = dir_ + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n"
                             "  <type>session</type>\n"
                             "  <listen>unix:dir="
                          << dir_
                          << "</listen>\n"
                             "  <servicedir>"
                          << servicesDir_
                          << "</servicedir>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n"
                             "    <allow own=\"*\"/>\n"
                             "  </policy>\n"
                             "</busconfig>\n";
    // Started with fork and exec rather than QProcess: QProcess's way of starting a child
    // confuses ThreadSanitizer's view of this process's locks, and these tests run under it.
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipe";
        return;
    }
    const std::string configArg = "--config-file=" + config;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--print-address",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        ADD_FAILURE() << "dbus-daemon does not start";
        return;
    }
    // The daemon prints its address once it listens.
    std::string address;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
        address.push_back(c);
    ::close(out[0]);
    address_ = QString::fromStdString(address).trimmed();
    if (address_.isEmpty()) ADD_FAILURE() << "dbus-daemon gave no address";
}

PrivateBus::~PrivateBus() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

QDBusConnection PrivateBus::Connect() {
    static std::atomic<int> counter{0};
    return QDBusConnection::connectToBus(address_, QStringLiteral("test-client-%1").arg(++counter));
}

QString PythonProgram() {
    // The distribution's Python carries the dbus module; a Python of its own on PATH may not.
    if (QFile::exists(QStringLiteral("/usr/bin/python3")))
        return QStringLiteral("/usr/bin/python3");
    return QStringLiteral("python3");
}

PythonClient::PythonClient(const PrivateBus& bus, const QString& script) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.Address());
    env.insert(QStringLiteral("PYTHONUNBUFFERED"), QStringLiteral("1"));
    process_.setProcessEnvironment(env);
    process_.start(PythonProgram(), {QStringLiteral("-c"), script});
    if (!process_.waitForStarted(10000)) ADD_FAILURE() << "python does not start";
}

PythonClient::~PythonClient() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

QString PythonClient::ReadLine(int limitMs) {
    SpinUntil([&] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
              limitMs);
    if (!process_.canReadLine()) return {};
    return QString::fromUtf8(process_.readLine()).trimmed();
}

int PythonClient::Wait(int limitMs) {
    if (!SpinUntil([&] { return process_.state() == QProcess::NotRunning; }, limitMs)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void PythonClient::Kill() {
    process_.kill();
    SpinUntil([&] { return process_.state() == QProcess::NotRunning; }, 10000);
}

QString PythonClient::ErrorOutput() {
    return QString::fromUtf8(process_.readAllStandardError());
}

}  // namespace tolvan::test
