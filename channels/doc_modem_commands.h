// The modem's command set over a channel: sending with the write lock, waiting for the
// modem's answer in the three work modes, S registers, the setting commands, dialing,
// the paced set-up sequence and sending files in pieces.
//
// Every wait goes through the platform tick source and WaitFor (the server lock released;
// a wait for the modem's answer sleeps until the channel's port has news, LinkWaitTarget),
// so a wait of seconds costs no processor time and tests run it at once on a fake tick
// source.
#pragma once

#include "channels/doc_modem_link.h"
#include "platform/server_condition.h"
#include "platform/server_lock.h"
#include "setup/records/param_records.h"

#include <cstdint>
#include <thread>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolvan {

// Status codes of the modem commands.
inline constexpr int16_t kModemNotSetUp = -6;
inline constexpr int16_t kModemNoResponse = -23;
inline constexpr int16_t kModemLockedByOther = -74;
inline constexpr int16_t kModemCantOpenFile = -602;
inline constexpr int16_t kModemBufferFull = -615;

// The command texts (8-bit, CR = 13).
std::string SetRegisterText(int16_t reg, int16_t value);  // "ATSr=v\r"
std::string GetRegisterText(int16_t reg);                 // "ATSr?\r"
// "ATE1\r" when on is exactly 1, else "ATE0\r"; likewise ATQ (inverted) and ATV.
std::string EchoText(int32_t on);
std::string ReplyText(int32_t on);
std::string ReplyModeText(int32_t on);
std::string LoudText(int16_t level);           // "ATL" + ('0' + level) + "\r"
std::string SpeakerText(int16_t mode);         // "ATM" + ('0' + mode) + "\r"
std::string DtrHangUpText(int32_t dtrHangUp);  // "ATY0\r" when exactly 1, else "ATY1\r"
// prefix + ('P' when dialMode is exactly 1, else 'T') + number + suffix + "\r".
std::string DialText(std::string_view prefix, int32_t dialMode, std::string_view number,
                     std::string_view suffix);

// The value of one line of a register answer: a leading LF is skipped (hadLineFeed set),
// the rest must be one to five decimal digits up to 32767. -1 when the line is no value.
int32_t RegisterLineValue(std::string_view line, bool& hadLineFeed);

// A channel's modem conversation runs one command at a time: whoever starts a command
// (a client's call, the window's menu) owns the modem's replies until the command ends;
// a command started meanwhile on another thread waits its turn with the server lock let
// go, so one side's reads never eat the other's "OK". A command may run others inside it
// on its own thread (the set-up sequence). The mode record is read and written under the
// server lock; a command works with the values it found when it took its turn.
class ModemCommands {
public:
    ModemCommands(ModemLink& link, AndModemMode& mode) : link_(link), mode_(mode) {}

    // Holds the conversation's turn for a scope, so that a sequence of commands (the
    // settings sheet's register writes) is not split by another thread's command.
    class Turn {
    public:
        explicit Turn(ModemCommands& commands);
        ~Turn();
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        ModemCommands& commands_;
    };

    // Sends text unchanged with one level of the write lock and waits as the work mode says.
    int16_t DoCommand(std::string_view text);
    // Sends text unchanged with the write lock; does not wait.
    int16_t SendString(std::string_view text);
    // 0 at once (mode 0), after nTimeout (mode 1 and unknown modes), or when a line equal to
    // strResponse arrives within nTimeout (mode 2; -23 when none did).
    int16_t WaitResponse();

    int16_t SetRegister(int16_t reg, int16_t value);
    // The register's value, or a status (-6, -74, -23 when no number came in nInternalTimeout).
    int16_t GetRegister(int16_t reg);

    int16_t SetEcho(int32_t on);
    int16_t SetReply(int32_t on);
    int16_t SetReplyMode(int32_t on);
    int16_t SetLoud(int16_t level);
    int16_t SetSpeaker(int16_t mode);
    void SetPulseDial(int32_t on);
    int16_t SetDtrHangUp(int32_t dtrHangUp) { return DoCommand(DtrHangUpText(dtrHangUp)); }

    int16_t Dial(std::string_view prefix, std::string_view number, std::string_view suffix);

    // The set-up after the modem-mode dialog: speaker, loudness, answers, answer form, echo,
    // dial mode, paced by nInternalTimeout/4 in work mode 0.
    void SetUpModem();
    // Pause k of a paced sequence that began at `start`: in work mode 0 wait until
    // start + k * nInternalTimeout/4; in the other modes DoCommand has waited already.
    void PacedPause(uint32_t start, uint32_t k);

    // Asked before each piece goes out and after it: bytes sent so far of all files, and
    // their total size (as the files were when the sending began). False: send no more
    // (the sending ends with 0: a cancel is no failure).
    using SendProgress = std::function<bool(uint64_t sent, uint64_t total)>;
    // Sends the files in order, raw, in pieces of 80 bytes with nInternalTimeout after each.
    // 0, -602 (a file could not be opened) or -615 (a piece did not fit).
    int16_t SendFiles(const std::vector<std::string>& paths, const SendProgress& progress = {});

    // The mode record as it is now / replaced whole (each under the server lock).
    AndModemMode ModeNow() const;
    void SetMode(const AndModemMode& mode);
    // True while a command of this channel runs (on any thread).
    bool Busy() const;

private:
    friend class ModemPending;  // the same commands for waiters without a thread

    int16_t Send(std::string_view text, bool wait);
    // The first half of Send: connected, write lock taken, text stored; else the status.
    std::optional<int16_t> StartSend(std::string_view text);
    int16_t Wait(const AndModemMode& mode);
    // Reads the complete lines held (past empty ones) until `wanted` takes one: true then.
    bool AnyLine(std::span<uint8_t> line, int16_t terminator,
                 const std::function<bool(std::string_view)>& wanted);
    // A work-mode-2 wait's one look at what came: true when the answer line is in.
    bool AnswerIn(const std::string& wanted);
    // A register read's one look at what came: true when a line held the value (set).
    bool ValueIn(int32_t& value, bool& hadLineFeed);
    template <typename T, typename V>
    void SetField(T AndModemMode::*field, V value) {
        plat::ServerLockGuard guard;
        mode_.*field = value;
    }

    ModemLink& link_;
    AndModemMode& mode_;
    // Guarded by the server lock.
    std::thread::id owner_;
    int depth_ = 0;
    plat::ServerCondition turnFree_;
};

}  // namespace tolvan
