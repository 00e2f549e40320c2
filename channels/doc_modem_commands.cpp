#include "channels/doc_modem_commands.h"

#include "platform/server_lock.h"
#include "platform/ticks.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvan {

namespace {

constexpr char kCR = '\r';

// Only 1 counts as on.
char Digit(bool one) {
    return one ? '1' : '0';
}

std::string Setting(std::string_view head, char digit) {
    std::string text(head);
    text += digit;
    text += kCR;
    return text;
}

uint32_t Ms(int32_t value) {
    return value > 0 ? static_cast<uint32_t>(value) : 0;
}

// Closes a descriptor on every way out.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::string SetRegisterText(int16_t reg, int16_t value) {
    return "ATS" + std::to_string(reg) + "=" + std::to_string(value) + kCR;
}

std::string GetRegisterText(int16_t reg) {
    return "ATS" + std::to_string(reg) + "?" + kCR;
}

std::string EchoText(int32_t on) {
    return Setting("ATE", Digit(on == 1));
}
std::string ReplyText(int32_t on) {
    return Setting("ATQ", Digit(on != 1));
}
std::string ReplyModeText(int32_t on) {
    return Setting("ATV", Digit(on == 1));
}
std::string LoudText(int16_t level) {
    return Setting("ATL", static_cast<char>('0' + level));
}
std::string SpeakerText(int16_t mode) {
    return Setting("ATM", static_cast<char>('0' + mode));
}
std::string DtrHangUpText(int32_t dtrHangUp) {
    return Setting("ATY", Digit(dtrHangUp != 1));
}

std::string DialText(std::string_view prefix, int32_t dialMode, std::string_view number,
                     std::string_view suffix) {
    std::string text(prefix);
    text += dialMode == 1 ? 'P' : 'T';
    text += number;
    text += suffix;
    text += kCR;
    return text;
}

int32_t RegisterLineValue(std::string_view line, bool& hadLineFeed) {
    if (!line.empty() && line.front() == '\n') {
        hadLineFeed = true;
        line.remove_prefix(1);
    }
    // A bare line feed is the blank line between echo and value, not the value 0.
    if (line.empty() || line.size() > 5) return -1;
    int32_t value = 0;
    for (char c : line) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    // A status code must not be mistaken for a value, so no value beyond 16 bits.
    return value <= 32767 ? value : -1;
}

ModemCommands::Turn::Turn(ModemCommands& commands) : commands_(commands) {
    plat::ServerLockGuard guard;
    const auto me = std::this_thread::get_id();
    if (commands_.depth_ > 0 && commands_.owner_ == me) {
        ++commands_.depth_;
        return;
    }
    commands_.turnFree_.Wait([&] { return commands_.depth_ == 0; }, plat::LockRelease::kModemTurn);
    commands_.owner_ = me;
    commands_.depth_ = 1;
}

ModemCommands::Turn::~Turn() {
    plat::ServerLockGuard guard;
    if (--commands_.depth_ > 0) return;
    commands_.owner_ = {};
    commands_.turnFree_.NotifyAll();
}

AndModemMode ModemCommands::ModeNow() const {
    plat::ServerLockGuard guard;
    return mode_;
}

void ModemCommands::SetMode(const AndModemMode& mode) {
    plat::ServerLockGuard guard;
    mode_ = mode;
}

bool ModemCommands::Busy() const {
    plat::ServerLockGuard guard;
    return depth_ > 0;
}

std::optional<int16_t> ModemCommands::StartSend(std::string_view text) {
    if (!link_.LinkConnected()) return kModemNotSetUp;
    if (link_.LinkLockedByOther() || !link_.LinkLock()) return kModemLockedByOther;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    if (link_.LinkWrite({bytes, text.size()}) > 0) return std::nullopt;
    const int16_t error = link_.LinkLastError();
    link_.LinkUnlock();
    return error;
}

int16_t ModemCommands::Send(std::string_view text, bool wait) {
    Turn turn(*this);
    if (const std::optional<int16_t> failed = StartSend(text)) return *failed;
    const int16_t result = wait ? Wait(ModeNow()) : int16_t{0};
    link_.LinkUnlock();
    return result;
}

int16_t ModemCommands::DoCommand(std::string_view text) {
    return Send(text, true);
}
int16_t ModemCommands::SendString(std::string_view text) {
    return Send(text, false);
}

int16_t ModemCommands::WaitResponse() {
    Turn turn(*this);
    return Wait(ModeNow());
}

int16_t ModemCommands::Wait(const AndModemMode& mode) {
    switch (mode.nWorkMode) {
        case 0:
            return 0;
        case 2: {
            const bool matched =
                plat::WaitFor([&] { return AnswerIn(mode.strResponse); }, Ms(mode.nTimeout),
                              [&] { return link_.LinkWaitTarget(); });
            return matched ? int16_t{0} : kModemNoResponse;
        }
        default:
            plat::Sleep(Ms(mode.nTimeout));
            return 0;
    }
}

bool ModemCommands::AnyLine(std::span<uint8_t> line, int16_t terminator,
                            const std::function<bool(std::string_view)>& wanted) {
    for (int quiet = 0; quiet < 2;) {
        const uint32_t held = link_.LinkHeld();
        const int32_t n = link_.LinkReadString(line, terminator);
        if (n > 0) {
            quiet = 0;
            if (wanted({reinterpret_cast<const char*>(line.data()), static_cast<size_t>(n)}))
                return true;
        } else {
            // 0 is also an empty line read: no whole line yet only when nothing moved twice.
            quiet = link_.LinkHeld() == held ? quiet + 1 : 0;
        }
    }
    return false;
}

bool ModemCommands::ValueIn(int32_t& value, bool& hadLineFeed) {
    std::array<uint8_t, 58> line{};
    return AnyLine(line, '\r', [&](std::string_view text) {
        value = RegisterLineValue(text, hadLineFeed);
        return value >= 0;
    });
}

bool ModemCommands::AnswerIn(const std::string& wanted) {
    std::array<uint8_t, 256> line{};
    return AnyLine(line, -2, [&](std::string_view text) { return text == wanted; });
}

int16_t ModemCommands::SetRegister(int16_t reg, int16_t value) {
    return DoCommand(SetRegisterText(reg, value));
}

int16_t ModemCommands::GetRegister(int16_t reg) {
    Turn turn(*this);
    const AndModemMode mode = ModeNow();
    link_.LinkClearReceive();
    if (int16_t sent = SendString(GetRegisterText(reg)); sent != 0) return sent;

    int32_t value = -1;
    bool hadLineFeed = false;
    const auto sleepOn = [&] { return link_.LinkWaitTarget(); };
    plat::WaitFor([&] { return ValueIn(value, hadLineFeed); }, Ms(mode.nInternalTimeout), sleepOn);
    if (hadLineFeed) {
        // The line feed after the value; it may still be on its way.
        std::array<uint8_t, 1> lf{};
        plat::WaitFor([&] { return link_.LinkRead(lf) > 0; }, Ms(mode.nInternalTimeout), sleepOn);
    }
    Wait(mode);
    return value >= 0 ? static_cast<int16_t>(value) : kModemNoResponse;
}

void ModemCommands::SetPulseDial(int32_t on) {
    SetField(&AndModemMode::nDialMode, on);
}

int16_t ModemCommands::SetEcho(int32_t on) {
    Turn turn(*this);
    SetField(&AndModemMode::bEcho, on);
    return DoCommand(EchoText(on));
}

int16_t ModemCommands::SetReply(int32_t on) {
    Turn turn(*this);
    SetField(&AndModemMode::bReply, on);
    return DoCommand(ReplyText(on));
}

int16_t ModemCommands::SetReplyMode(int32_t on) {
    Turn turn(*this);
    SetField(&AndModemMode::nReplyMode, on);
    return DoCommand(ReplyModeText(on));
}

int16_t ModemCommands::SetLoud(int16_t level) {
    Turn turn(*this);
    SetField(&AndModemMode::nLoud, level);
    return DoCommand(LoudText(level));
}

int16_t ModemCommands::SetSpeaker(int16_t mode) {
    Turn turn(*this);
    SetField(&AndModemMode::nSpeaker, mode);
    return DoCommand(SpeakerText(mode));
}

int16_t ModemCommands::Dial(std::string_view prefix, std::string_view number,
                            std::string_view suffix) {
    Turn turn(*this);
    return SendString(DialText(prefix, ModeNow().nDialMode, number, suffix));
}

void ModemCommands::PacedPause(uint32_t start, uint32_t k) {
    const AndModemMode mode = ModeNow();
    if (mode.nWorkMode != 0) return;
    const uint32_t target = start + k * (Ms(mode.nInternalTimeout) / 4);
    const uint32_t now = plat::GetTickCount();
    if (static_cast<int32_t>(target - now) > 0) plat::Sleep(target - now);
}

void ModemCommands::SetUpModem() {
    Turn turn(*this);
    const AndModemMode mode = ModeNow();
    const uint32_t start = plat::GetTickCount();
    SetSpeaker(static_cast<int16_t>(mode.nSpeaker));
    PacedPause(start, 1);
    SetLoud(static_cast<int16_t>(mode.nLoud));
    PacedPause(start, 2);
    SetReply(mode.bReply);
    PacedPause(start, 3);
    if (mode.bReply != 0) {
        SetReplyMode(mode.nReplyMode);
        PacedPause(start, 4);
    }
    SetEcho(mode.bEcho);
    SetPulseDial(mode.nDialMode);
}

int16_t ModemCommands::SendFiles(const std::vector<std::string>& paths,
                                 const SendProgress& progress) {
    Turn turn(*this);
    const AndModemMode mode = ModeNow();
    uint64_t total = 0, sent = 0;
    if (progress)
        for (const std::string& path : paths) {
            struct stat info {};
            if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
                total += static_cast<uint64_t>(info.st_size);
        }
    for (const std::string& path : paths) {
        Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        if (file.fd < 0) return kModemCantOpenFile;
        std::array<uint8_t, 80> piece{};
        for (;;) {
            ssize_t got;
            size_t have = 0;
            // A piece is 80 bytes unless the file ends; short reads of the kernel do not end it.
            while (have < piece.size() &&
                   (got = ::read(file.fd, piece.data() + have, piece.size() - have)) > 0)
                have += static_cast<size_t>(got);
            if (have > 0) {
                // Asked before each piece, so that a cancel during the pause sends no more.
                if (progress && !progress(sent, std::max(total, sent))) return 0;
                if (link_.LinkWrite({piece.data(), have}) < static_cast<int32_t>(have))
                    return kModemBufferFull;
                sent += have;
                if (progress && !progress(sent, std::max(total, sent))) return 0;
                plat::Sleep(Ms(mode.nInternalTimeout));
            }
            if (have < piece.size()) break;
        }
    }
    return 0;
}

}  // namespace tolvan
