#include "tests/automation/server_process.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <fstream>

namespace tolvan::test {

ServerProcess::~ServerProcess() {
    if (Running()) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

void ServerProcess::Start(const std::string& profile, const std::function<void()>& childSetup) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus_.Address());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(bus_.Dir()));
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setChildProcessModifier(childSetup ? childSetup : [] {});
    process_.start(TOLVAN_BINARY_DIR "/app/tolvan32",
                   {"-Automation", "--profile", QString::fromStdString(profile)});
    ASSERT_TRUE(process_.waitForStarted(10000)) << "tolvan32 does not start";
    QDBusConnection watcher =
        QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("server-process-watch"));
    const bool up = SpinUntil([&] {
        return !Running() ||
               watcher.interface()->isServiceRegistered(QStringLiteral("RiVo32.Document")).value();
    });
    QDBusConnection::disconnectFromBus(QStringLiteral("server-process-watch"));
    ASSERT_TRUE(up && Running()) << "tolvan32 does not take its bus name";
}

int ServerProcess::WaitForExit(int limitMs) {
    if (!SpinUntil([&] { return !Running(); }, limitMs)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

long ServerProcess::ResidentKiB() const {
    std::ifstream status("/proc/" + std::to_string(Pid()) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

}  // namespace tolvan::test
