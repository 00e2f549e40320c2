// Helpers for tests on a real bus: a private dbus-daemon per test, the Qt application
// object, an event loop that runs until a condition holds, and client code run off the
// UI thread (the server answers on the UI thread, so a blocking client there would wait
// for itself).
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace tolvan::test {

// The QCoreApplication of the test program (created on first use).
void EnsureQtApp();

// Runs the event loop until `done` holds or `limitMs` of real time passed (only reached
// when a test fails). A short timer wakes the loop to check; it does not spin.
bool SpinUntil(const std::function<bool()>& done, int limitMs = 20000);

// Runs `client` on another thread while the event loop serves the server here.
// False when it did not finish within `limitMs`.
bool RunClient(const std::function<void()>& client, int limitMs = 30000);

// A dbus-daemon of its own, with a services folder for activation.
class PrivateBus {
public:
    PrivateBus();  // fails the current test when the daemon cannot start
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return address_; }
    const std::string& ServicesDir() const { return servicesDir_; }
    const std::string& Dir() const { return dir_; }

    // A client connection of this process to the bus (a new one each call).
    QDBusConnection Connect();

private:
    std::string dir_;
    std::string servicesDir_;
    QString address_;
    int pid_ = -1;  // the dbus-daemon
};

// The Python 3 that has the dbus module.
QString PythonProgram();

// A Python client on the bus: `script` runs with DBUS_SESSION_BUS_ADDRESS set to `bus`.
class PythonClient {
public:
    PythonClient(const PrivateBus& bus, const QString& script);
    ~PythonClient();  // kills it if still running
    // Runs the event loop until the client printed a line; the line, or "" when it
    // ended or the time ran out.
    QString ReadLine(int limitMs = 20000);
    // Runs the event loop until the client ended; its exit code, -1 on time-out.
    int Wait(int limitMs = 30000);
    void Kill();  // SIGKILL
    QString ErrorOutput();
    QProcess& Process() { return process_; }

private:
    QProcess process_;
};

}  // namespace tolvan::test
