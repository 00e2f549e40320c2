#include "platform/sim_modem.h"

#include <cctype>
#include <cstdio>

namespace tolvan::plat {

namespace {

const char* Word(int code) {
    switch (code) {
        case HayesModemSim::kOk:
            return "OK";
        case HayesModemSim::kConnect:
            return "CONNECT";
        case HayesModemSim::kRing:
            return "RING";
        case HayesModemSim::kNoCarrier:
            return "NO CARRIER";
        case HayesModemSim::kBusy:
            return "BUSY";
        default:
            return "ERROR";
    }
}

void Append(std::vector<uint8_t>& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

// Reads a decimal number at `i`; `def` when there is none. Long digit runs saturate
// instead of overflowing (they are out of every range anyway).
int Number(const std::string& s, size_t& i, int def) {
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return def;
    int v = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        if (v < 100000) v = v * 10 + (s[i] - '0');
        ++i;
    }
    return v;
}

}  // namespace

HayesModemSim::Settings HayesModemSim::Factory() {
    Settings s;
    s.regs[2] = '+';  // escape character
    s.regs[3] = 13;   // end of a command line
    s.regs[4] = 10;   // line feed of the answers
    s.regs[5] = 8;    // backspace
    s.regs[6] = 2;    // wait for dial tone, s
    s.regs[7] = 50;   // wait for carrier, s
    s.regs[8] = 2;    // comma pause, s
    s.regs[9] = 6;
    s.regs[10] = 14;
    s.regs[11] = 95;
    s.regs[12] = 50;  // escape guard time, 1/50 s
    return s;
}

HayesModemSim::HayesModemSim(SimModemOptions options) : options_(options), s_(Factory()) {}

std::vector<uint8_t> HayesModemSim::OnHostBytes(std::span<const uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out;
    for (uint8_t b : bytes) {
        if (dataMode_)
            TakeDataByte(b, out);
        else
            TakeCommandByte(b, out);
    }
    return out;
}

std::vector<uint8_t> HayesModemSim::OnHostText(const std::string& text) {
    return OnHostBytes(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::vector<uint8_t> HayesModemSim::OnDtrDrop() {
    std::lock_guard lock(mutex_);
    std::vector<uint8_t> out;
    if (online_) {
        online_ = dataMode_ = false;
        escapeRun_ = 0;
        SendResult(kNoCarrier, out);
    }
    return out;
}

void HayesModemSim::OnHostGone() {
    std::lock_guard lock(mutex_);
    online_ = dataMode_ = false;
    escapeRun_ = 0;
    line_.clear();
    lineTooLong_ = false;
}

void HayesModemSim::TakeDataByte(uint8_t b, std::vector<uint8_t>& out) {
    if (options_.loopData)
        out.push_back(b);
    else
        data_.push_back(b);
    const uint8_t esc = s_.regs[2];
    if (esc > 127 || b != esc) {  // S2 above 127 turns the escape off
        escapeRun_ = 0;
        return;
    }
    if (++escapeRun_ == 3) {
        escapeRun_ = 0;
        dataMode_ = false;
        SendResult(kOk, out);
    }
}

void HayesModemSim::TakeCommandByte(uint8_t b, std::vector<uint8_t>& out) {
    if (s_.echo) out.push_back(b);
    if (b == s_.regs[3]) {
        const bool command = line_.size() >= 2 &&
                             std::toupper(static_cast<unsigned char>(line_[0])) == 'A' &&
                             std::toupper(static_cast<unsigned char>(line_[1])) == 'T';
        const bool tooLong = lineTooLong_;
        const std::string cmds = command ? line_.substr(2) : std::string();
        line_.clear();
        lineTooLong_ = false;
        if (!command) return;  // noise between lines is ignored, as a real modem does
        if (tooLong) {
            SendResult(kError, out);
            return;
        }
        ExecuteLine(cmds, out);
        return;
    }
    if (b == s_.regs[5]) {
        if (!line_.empty()) line_.pop_back();
        return;
    }
    if (b < 0x20 || b == 0x7F) return;
    const char c = static_cast<char>(b);
    const bool isA = c == 'A' || c == 'a';
    if (line_.empty()) {
        if (isA) line_ = c;  // a line starts with "A"; anything before it is noise
        return;
    }
    if (line_.size() == 1) {
        if (c == '/') {  // "A/" runs the previous line at once
            line_.clear();
            ExecuteLine(lastLine_, out);
        } else if (c == 'T' || c == 't') {
            line_ += c;
        } else {
            line_ = isA ? std::string(1, c) : std::string();
        }
        return;
    }
    if (line_.size() >= kMaxLine + 2) {
        lineTooLong_ = true;  // keeps nothing more, answers ERROR at the end of the line
        return;
    }
    line_ += c;
}

void HayesModemSim::ExecuteLine(const std::string& cmds, std::vector<uint8_t>& out) {
    lastLine_ = cmds;
    executed_.push_back(cmds);
    const int result = RunCommands(cmds, out);
    if (result >= 0) SendResult(result, out);
}

int HayesModemSim::RunCommands(const std::string& cmds, std::vector<uint8_t>& out) {
    size_t i = 0;
    auto inRange = [](int v, int hi) { return v >= 0 && v <= hi; };
    while (i < cmds.size()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(cmds[i++])));
        if (c == ' ') continue;
        switch (c) {
            case 'E':
            case 'Q':
            case 'V':
            case 'Y':
            case 'H':
            case 'Z': {
                const int v = Number(cmds, i, 0);
                if (!inRange(v, 1)) return kError;
                if (c == 'E') s_.echo = v == 1;
                if (c == 'Q') s_.quiet = v == 1;
                if (c == 'V') s_.verbose = v == 1;
                if (c == 'H' && v == 0) online_ = dataMode_ = false;
                if (c == 'Z') {
                    s_ = Factory();
                    online_ = dataMode_ = false;
                }
                break;
            }
            case 'L':
            case 'M': {
                const int v = Number(cmds, i, 0);
                if (!inRange(v, 3)) return kError;
                (c == 'L' ? s_.loud : s_.speaker) = v;
                break;
            }
            case 'X':
                if (!inRange(Number(cmds, i, 0), 4)) return kError;
                break;
            case '&': {
                const char f =
                    i < cmds.size()
                        ? static_cast<char>(std::toupper(static_cast<unsigned char>(cmds[i++])))
                        : 0;
                if (f != 'F' || !inRange(Number(cmds, i, 0), 1)) return kError;
                s_ = Factory();  // the connection (if any) stays
                break;
            }
            case 'S': {
                const int n = Number(cmds, i, -1);
                if (n >= 0) {
                    if (n > 255) return kError;
                    s_.current = n;
                }
                if (i < cmds.size() && cmds[i] == '=') {
                    ++i;
                    const int v = Number(cmds, i, 0);
                    if (!inRange(v, 255)) return kError;
                    s_.regs[static_cast<size_t>(s_.current)] = static_cast<uint8_t>(v);
                } else if (i < cmds.size() && cmds[i] == '?') {
                    ++i;
                    char text[4];
                    std::snprintf(text, sizeof text, "%03u",
                                  unsigned{s_.regs[static_cast<size_t>(s_.current)]});
                    SendInfo(text, out);
                } else if (n < 0) {
                    return kError;
                }
                break;
            }
            case 'I': {
                // Identification, as a first "ATI" expects of any modem.
                const int v = Number(cmds, i, 0);
                if (!inRange(v, 9)) return kError;
                SendInfo(v == 0 ? "Tolvan32 simulated modem" : std::to_string(v * 1000), out);
                break;
            }
            case 'O':
                Number(cmds, i, 0);
                if (!online_) return kNoCarrier;
                dataMode_ = true;
                escapeRun_ = 0;
                return kConnect;
            case 'A':  // answer: nobody is calling
                return kNoCarrier;
            case 'D':
                return Dial(cmds.substr(i), out);
            default:
                return kError;
        }
    }
    return kOk;
}

int HayesModemSim::Dial(const std::string& rest, std::vector<uint8_t>&) {
    if (online_) return kError;
    std::string number;
    bool stay = false;  // ";" dials and stays in command mode
    for (char c : rest) {
        if (c == ';') {
            stay = true;
            break;
        }
        if (c != ' ') number += c;
    }
    lastDialed_ = number;
    if (stay) return kOk;
    switch (options_.dialAnswer) {
        case SimDialAnswer::Connect:
            online_ = dataMode_ = true;
            escapeRun_ = 0;
            return kConnect;
        case SimDialAnswer::Busy:
            return kBusy;
        case SimDialAnswer::NoCarrier:
            return kNoCarrier;
    }
    return kError;
}

void HayesModemSim::SendResult(int code, std::vector<uint8_t>& out) const {
    if (s_.quiet) return;
    const char cr = static_cast<char>(s_.regs[3]), lf = static_cast<char>(s_.regs[4]);
    if (s_.verbose)
        Append(out, std::string{cr, lf} + Word(code) + std::string{cr, lf});
    else
        Append(out, std::to_string(code) + cr);
}

void HayesModemSim::SendInfo(const std::string& text, std::vector<uint8_t>& out) const {
    const char cr = static_cast<char>(s_.regs[3]), lf = static_cast<char>(s_.regs[4]);
    if (s_.verbose)
        Append(out, std::string{cr, lf} + text + std::string{cr, lf});
    else
        Append(out, text + std::string{cr, lf});
}

void HayesModemSim::SetDialAnswer(SimDialAnswer answer) {
    std::lock_guard lock(mutex_);
    options_.dialAnswer = answer;
}

void HayesModemSim::SetLoopData(bool on) {
    std::lock_guard lock(mutex_);
    options_.loopData = on;
}

bool HayesModemSim::Online() const {
    std::lock_guard lock(mutex_);
    return online_;
}

bool HayesModemSim::InDataMode() const {
    std::lock_guard lock(mutex_);
    return dataMode_;
}

bool HayesModemSim::Echo() const {
    std::lock_guard lock(mutex_);
    return s_.echo;
}

bool HayesModemSim::Quiet() const {
    std::lock_guard lock(mutex_);
    return s_.quiet;
}

bool HayesModemSim::Verbose() const {
    std::lock_guard lock(mutex_);
    return s_.verbose;
}

int HayesModemSim::Loudness() const {
    std::lock_guard lock(mutex_);
    return s_.loud;
}

int HayesModemSim::Speaker() const {
    std::lock_guard lock(mutex_);
    return s_.speaker;
}

int HayesModemSim::Register(int n) const {
    std::lock_guard lock(mutex_);
    if (n < 0 || n > 255) return -1;
    return s_.regs[static_cast<size_t>(n)];
}

std::string HayesModemSim::LastDialed() const {
    std::lock_guard lock(mutex_);
    return lastDialed_;
}

std::vector<std::string> HayesModemSim::CommandLines() const {
    std::lock_guard lock(mutex_);
    return executed_;
}

std::vector<uint8_t> HayesModemSim::DataReceived() const {
    std::lock_guard lock(mutex_);
    return data_;
}

void SimModemPeer::Deliver(SimDevice& dev, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) dev.DeliverToHost(bytes);
    dev.SetCd(modem_->Online());
}

void SimModemPeer::OnOpen(SimDevice& dev) {
    dev.SetDsr(true);
    dev.SetCts(true);
    dev.SetCd(modem_->Online());
}

void SimModemPeer::OnClose(SimDevice& dev) {
    modem_->OnHostGone();
    dev.SetCd(false);
}

void SimModemPeer::OnHostWrite(SimDevice& dev, std::span<const uint8_t> bytes) {
    Deliver(dev, modem_->OnHostBytes(bytes));
}

void SimModemPeer::OnLines(SimDevice& dev, bool dtr, bool) {
    if (!dtr) Deliver(dev, modem_->OnDtrDrop());
}

std::shared_ptr<HayesModemSim> RegisterSimulatedModem(const std::string& name,
                                                      SimModemOptions options) {
    auto modem = std::make_shared<HayesModemSim>(options);
    auto device = std::make_shared<SimDevice>(name);
    device->SetPeer(std::make_shared<SimModemPeer>(modem));
    RegisterSimDevice(name, device);
    return modem;
}

}  // namespace tolvan::plat
