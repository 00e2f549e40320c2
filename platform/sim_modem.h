// A simulated Hayes-style modem: the far end for modem channels in tests and in the
// demo profile. It assembles command lines from "AT" to the carriage return (S3),
// echoes (E), keeps quiet (Q), answers in words or digits (V), takes speaker settings
// (L, M), S registers (Sn=v, Sn?, Sn, S?), &F, Z, H, O, X, Y, A/ (repeat the last line
// at once, without a carriage return) and D with P/T. A dial gets the configured answer;
// after CONNECT the modem is in data mode and loops every byte back (or keeps it) until
// three escape characters (S2, "+") in a row bring it back to command mode with OK.
// The guard time around the escape is not simulated. The escape characters travel like
// any data (so a looping far end sends them back too).
//
// The core is transport-free and thread-safe; SimModemPeer plugs it into a simulated
// device, and a pty runner (tests) drives it from the master side of a pty.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/sim_device.h"
#include "platform/ranked_mutex.h"

namespace tolvan::plat {

// What a dial meets at the far end.
enum class SimDialAnswer { Connect, Busy, NoCarrier };

struct SimModemOptions {
    SimDialAnswer dialAnswer = SimDialAnswer::Connect;
    bool loopData = true;  // false: data-mode bytes are kept (DataReceived), nothing comes back
};

class HayesModemSim {
public:
    // Result codes in digit form (V0).
    enum Result { kOk = 0, kConnect = 1, kRing = 2, kNoCarrier = 3, kError = 4, kBusy = 7 };
    static constexpr size_t kMaxLine = 255;  // longer command lines are answered with ERROR

    explicit HayesModemSim(SimModemOptions options = {});

    // Bytes the host sent; returns what the modem sends back at once.
    std::vector<uint8_t> OnHostBytes(std::span<const uint8_t> bytes);
    std::vector<uint8_t> OnHostText(const std::string& text);
    // DTR dropped: an open connection ends with NO CARRIER (returned).
    std::vector<uint8_t> OnDtrDrop();
    // The host let go of the device: any connection ends silently.
    void OnHostGone();

    void SetDialAnswer(SimDialAnswer answer);
    void SetLoopData(bool on);

    bool Online() const;      // a connection exists (in data or online command mode)
    bool InDataMode() const;  // bytes are data, not commands
    bool Echo() const;
    bool Quiet() const;
    bool Verbose() const;
    int Loudness() const;
    int Speaker() const;
    int Register(int n) const;                      // -1 for a number outside 0..255
    std::string LastDialed() const;                 // the dial string of the last D
    std::vector<std::string> CommandLines() const;  // every executed line, without "AT"
    std::vector<uint8_t> DataReceived() const;      // data-mode bytes (escapes included)

private:
    struct Settings {
        bool echo = true;
        bool quiet = false;
        bool verbose = true;
        int loud = 1;
        int speaker = 1;
        int current = 0;  // the register S? and S=v refer to
        std::array<uint8_t, 256> regs{};
    };
    static Settings Factory();

    void TakeCommandByte(uint8_t b, std::vector<uint8_t>& out);
    void TakeDataByte(uint8_t b, std::vector<uint8_t>& out);
    void ExecuteLine(const std::string& line, std::vector<uint8_t>& out);
    // Runs the commands of one line; returns the final result code, or -1 when a
    // command already answered (CONNECT, BUSY, ...).
    int RunCommands(const std::string& cmds, std::vector<uint8_t>& out);
    int Dial(const std::string& rest, std::vector<uint8_t>& out);
    void SendResult(int code, std::vector<uint8_t>& out) const;
    void SendInfo(const std::string& text, std::vector<uint8_t>& out) const;

    mutable RankedMutex mutex_{LockRank::kSimModem};
    SimModemOptions options_;
    Settings s_;
    bool online_ = false;
    bool dataMode_ = false;
    int escapeRun_ = 0;
    std::string line_;  // the command line being assembled
    bool lineTooLong_ = false;
    std::string lastLine_;  // for A/
    std::string lastDialed_;
    std::vector<std::string> executed_;
    std::vector<uint8_t> data_;
};

// Plays the modem behind a simulated device. DSR and CTS are up while the device is
// open; CD follows the connection; dropping DTR hangs up.
class SimModemPeer final : public SimPeer {
public:
    explicit SimModemPeer(std::shared_ptr<HayesModemSim> modem) : modem_(std::move(modem)) {}
    void OnOpen(SimDevice& dev) override;
    void OnClose(SimDevice& dev) override;
    void OnHostWrite(SimDevice& dev, std::span<const uint8_t> bytes) override;
    void OnLines(SimDevice& dev, bool dtr, bool rts) override;

private:
    void Deliver(SimDevice& dev, const std::vector<uint8_t>& bytes);
    std::shared_ptr<HayesModemSim> modem_;
};

// Makes "sim://<name>" a simulated modem (replacing what was registered under the name)
// and returns the modem, so the caller can pick the dial answer and watch it.
std::shared_ptr<HayesModemSim> RegisterSimulatedModem(const std::string& name = "modem",
                                                      SimModemOptions options = {});

}  // namespace tolvan::plat
