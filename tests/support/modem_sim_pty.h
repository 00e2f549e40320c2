// Plays a simulated modem on the master side of a pty from a thread of its own, so the
// code under test meets it through a real tty (the pty's slave path). A pty has no modem
// lines: hanging up goes through ATH or the escape.
#pragma once

#include "platform/sim_modem.h"
#include "tests/support/pty_peer_runner.h"

namespace tolvan::test {

class ModemSimPtyRunner : public PtyPeerRunner {
public:
    ModemSimPtyRunner(int masterFd, plat::HayesModemSim& modem)
        : PtyPeerRunner(
              masterFd, [&modem](std::span<const uint8_t> in) { return modem.OnHostBytes(in); },
              [&modem] { modem.OnHostGone(); }) {}
};

}  // namespace tolvan::test
