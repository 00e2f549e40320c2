// The real tolvan32 program as a process of its own in the automation mode, on a private
// bus with a profile of the test's choice: what a client meets after a desktop start.
#pragma once

#include "tests/automation/bus_fixture.h"

#include <QProcess>

#include <functional>
#include <string>

namespace tolvan::test {

class ServerProcess {
public:
    explicit ServerProcess(const PrivateBus& bus) : bus_(bus) {}
    ~ServerProcess();  // kills it if still running
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Starts `tolvan32 -Automation --profile <profile>` and runs the event loop until it
    // owns RiVo32.Document. `childSetup` runs in the child before exec (limits, signal
    // dispositions). Fails the current test when it cannot.
    void Start(const std::string& profile, const std::function<void()>& childSetup = {});
    bool Running() const { return process_.state() != QProcess::NotRunning; }
    qint64 Pid() const { return process_.processId(); }
    QProcess& Process() { return process_; }
    // Runs the event loop until the program ended by itself; its exit code, -1 when it did
    // not end normally within `limitMs`.
    int WaitForExit(int limitMs = 20000);
    // The server's resident memory in KiB (VmRSS), 0 when unknown.
    long ResidentKiB() const;

private:
    const PrivateBus& bus_;
    QProcess process_;
};

}  // namespace tolvan::test
