// A modem command whose answer is awaited without a thread waiting for it (the automation
// server's wait reactor): the same texts, waits and results as the blocking members of
// ModemCommands (DoCommand, the settings, SetRegister, GetRegister), cut into waits that
// the owner tries whenever something may have come.
//
// A pending command holds the channel's conversation turn from its Begin until it has
// ended or is destroyed, so another thread's command waits (ModemCommands::Turn); a command
// also holds one level of the write lock as DoCommand does (a register read only while it
// sends, as GetRegister).
//
//   std::unique_ptr<ModemPending> pending;
//   int16_t status;
//   switch (ModemPending::BeginCommand(commands, "ATZ\r", status, pending)) {
//       case kEnded: answer(status); break;
//       case kBusy: answer(commands.DoCommand("ATZ\r")); break;   // waits its turn
//       case kPending: wait up to pending->LimitMs(), calling pending->Try(false) on events,
//                      Try(true) when the time is up; kNextWait: wait anew for LimitMs().
//   }
#pragma once

#include "channels/doc_modem_commands.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tolvan {

class ModemPending {
public:
    enum class Begun {
        kEnded,    // at once (work mode 0, not connected, locked, nothing sent): `status`
        kPending,  // sent; `pending` waits for the answer
        kBusy,     // another command holds the turn: nothing done, use the blocking member
    };
    enum class Step {
        kWaiting,   // not yet
        kNextWait,  // one wait ended and the next began: wait anew for LimitMs()
        kEnded,     // Status() is the command's result
    };
    // The settings that store a field of the mode record and send its command.
    enum class Setting { kEcho, kReply, kReplyMode, kLoud, kSpeaker };

    // DoCommand(text); SetRegister is DoCommand(SetRegisterText(...)).
    static Begun BeginCommand(ModemCommands& commands, std::string text, int16_t& status,
                              std::unique_ptr<ModemPending>& pending);
    // SetEcho, SetReply, SetReplyMode, SetLoud, SetSpeaker.
    static Begun BeginSetting(ModemCommands& commands, Setting setting, int32_t value,
                              int16_t& status, std::unique_ptr<ModemPending>& pending);
    // GetRegister(reg): the value (or a status) once ended.
    static Begun BeginRegisterRead(ModemCommands& commands, int16_t reg, int16_t& status,
                                   std::unique_ptr<ModemPending>& pending);

    // Made by the Begin functions only.
    class Key {
        friend class ModemPending;
        Key() = default;
    };
    ModemPending(Key, ModemCommands& commands, AndModemMode mode, bool registerRead, bool locked);
    // Ends the command as its time being up would (lock and turn let go).
    ~ModemPending();
    ModemPending(const ModemPending&) = delete;
    ModemPending& operator=(const ModemPending&) = delete;

    // With or without the server lock: one look at what came. `last`: the current wait's
    // time is up.
    Step Try(bool last);
    int16_t Status() const { return status_; }
    // How long the current wait may last, ms.
    uint32_t LimitMs() const;

private:
    enum class Phase { kValue, kLineFeed, kAnswer, kEnded };
    static Begun Begin(ModemCommands& commands, const std::string& text, bool registerRead,
                       int16_t& status, std::unique_ptr<ModemPending>& pending);
    Step Start();          // enters the first wait (ending at once when there is none)
    void Look(bool last);  // one look in the current wait
    void EnterAnswer();
    int16_t Result(bool answered) const;
    void End(int16_t status);

    ModemCommands& commands_;
    const AndModemMode mode_;
    const bool registerRead_;
    bool locked_;  // holds a level of the write lock
    Phase phase_;
    int32_t value_ = -1;
    bool hadLineFeed_ = false;
    int16_t status_ = 0;
};

}  // namespace tolvan
