// Plays a simulated modem on the master side of a pty from a thread of its own, so the
// code under test meets it through a real tty (the pty's slave path). A pty has no modem
// lines: hanging up goes through ATH or the escape.
#pragma once

#include <atomic>
#include <thread>

#include "platform/sim_modem.h"

namespace tolvan::test {

class ModemSimPtyRunner {
public:
    ModemSimPtyRunner(int masterFd, plat::HayesModemSim& modem);
    ~ModemSimPtyRunner();  // stops the thread
    ModemSimPtyRunner(const ModemSimPtyRunner&) = delete;
    ModemSimPtyRunner& operator=(const ModemSimPtyRunner&) = delete;

    void Stop();
    // False once the thread met an error on the master (other than the host closing).
    bool Healthy() const { return healthy_; }

private:
    void Run();

    int masterFd_;
    plat::HayesModemSim& modem_;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> healthy_{true};
    std::thread thread_;
};

}  // namespace tolvan::test
