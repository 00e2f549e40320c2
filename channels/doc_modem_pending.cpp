#include "channels/doc_modem_pending.h"

#include "platform/server_lock.h"

#include <array>
#include <utility>

namespace tolvan {

namespace {

uint32_t Ms(int32_t value) {
    return value > 0 ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

ModemPending::ModemPending(Key, ModemCommands& commands, AndModemMode mode, bool registerRead,
                           bool locked)
    : commands_(commands),
      mode_(std::move(mode)),
      registerRead_(registerRead),
      locked_(locked),
      phase_(registerRead ? Phase::kValue : Phase::kAnswer) {}

ModemPending::Begun ModemPending::Begin(ModemCommands& commands, const std::string& text,
                                        bool registerRead, int16_t& status,
                                        std::unique_ptr<ModemPending>& pending) {
    plat::ServerLockGuard guard;
    if (commands.depth_ > 0) return Begun::kBusy;
    // The turn is the pending command's, not this thread's: no later command of this
    // thread may run inside it.
    commands.owner_ = {};
    commands.depth_ = 1;
    if (registerRead) commands.link_.LinkClearReceive();
    if (const std::optional<int16_t> failed = commands.StartSend(text)) {
        commands.depth_ = 0;
        commands.turnFree_.NotifyAll();
        status = *failed;
        return Begun::kEnded;
    }
    // A register read holds the write lock only while it sends (as SendString).
    if (registerRead) commands.link_.LinkUnlock();
    auto begun = std::make_unique<ModemPending>(Key{}, commands, commands.mode_, registerRead,
                                                !registerRead);
    if (begun->Start() == Step::kEnded) {
        status = begun->Status();
        return Begun::kEnded;
    }
    pending = std::move(begun);
    return Begun::kPending;
}

ModemPending::Begun ModemPending::BeginCommand(ModemCommands& commands, std::string text,
                                               int16_t& status,
                                               std::unique_ptr<ModemPending>& pending) {
    return Begin(commands, text, false, status, pending);
}

ModemPending::Begun ModemPending::BeginSetting(ModemCommands& commands, Setting setting,
                                               int32_t value, int16_t& status,
                                               std::unique_ptr<ModemPending>& pending) {
    plat::ServerLockGuard guard;
    if (commands.depth_ > 0) return Begun::kBusy;
    std::string text;
    switch (setting) {
        case Setting::kEcho:
            commands.SetField(&AndModemMode::bEcho, value);
            text = EchoText(value);
            break;
        case Setting::kReply:
            commands.SetField(&AndModemMode::bReply, value);
            text = ReplyText(value);
            break;
        case Setting::kReplyMode:
            commands.SetField(&AndModemMode::nReplyMode, value);
            text = ReplyModeText(value);
            break;
        case Setting::kLoud:
            commands.SetField(&AndModemMode::nLoud, value);
            text = LoudText(static_cast<int16_t>(value));
            break;
        case Setting::kSpeaker:
            commands.SetField(&AndModemMode::nSpeaker, value);
            text = SpeakerText(static_cast<int16_t>(value));
            break;
    }
    return Begin(commands, text, false, status, pending);
}

ModemPending::Begun ModemPending::BeginRegisterRead(ModemCommands& commands, int16_t reg,
                                                    int16_t& status,
                                                    std::unique_ptr<ModemPending>& pending) {
    return Begin(commands, GetRegisterText(reg), true, status, pending);
}

ModemPending::~ModemPending() {
    if (phase_ != Phase::kEnded) End(Result(false));
}

ModemPending::Step ModemPending::Start() {
    if (phase_ == Phase::kAnswer) EnterAnswer();
    const Step step = Try(false);
    return step == Step::kNextWait ? Step::kWaiting : step;
}

uint32_t ModemPending::LimitMs() const {
    switch (phase_) {
        case Phase::kValue:
        case Phase::kLineFeed:
            return Ms(mode_.nInternalTimeout);
        case Phase::kAnswer:
            return Ms(mode_.nTimeout);
        case Phase::kEnded:
            break;
    }
    return 0;
}

ModemPending::Step ModemPending::Try(bool last) {
    const Phase before = phase_;
    Look(last);
    // A new wait looks at once at what has come already: no wake-up will say so.
    for (Phase seen = before; phase_ != Phase::kEnded && phase_ != seen;) {
        seen = phase_;
        Look(false);
    }
    if (phase_ == Phase::kEnded) return Step::kEnded;
    return phase_ == before ? Step::kWaiting : Step::kNextWait;
}

void ModemPending::Look(bool last) {
    switch (phase_) {
        case Phase::kValue:
            if (commands_.ValueIn(value_, hadLineFeed_) || last) {
                if (hadLineFeed_)
                    phase_ = Phase::kLineFeed;  // the line feed after the value may be on its way
                else
                    EnterAnswer();
            }
            break;
        case Phase::kLineFeed: {
            std::array<uint8_t, 1> lf{};
            if (commands_.link_.LinkRead(lf) > 0 || last) EnterAnswer();
            break;
        }
        case Phase::kAnswer:
            if (mode_.nWorkMode == 2 && commands_.AnswerIn(mode_.strResponse))
                End(Result(true));
            else if (last)  // work mode 1: the fixed time is over
                End(Result(mode_.nWorkMode != 2));
            break;
        case Phase::kEnded:
            break;
    }
}

void ModemPending::EnterAnswer() {
    phase_ = Phase::kAnswer;
    if (mode_.nWorkMode == 0) End(Result(true));
}

int16_t ModemPending::Result(bool answered) const {
    if (registerRead_) return value_ >= 0 ? static_cast<int16_t>(value_) : kModemNoResponse;
    return answered ? int16_t{0} : kModemNoResponse;
}

void ModemPending::End(int16_t status) {
    status_ = status;
    phase_ = Phase::kEnded;
    if (locked_) commands_.link_.LinkUnlock();
    locked_ = false;
    plat::ServerLockGuard guard;
    commands_.depth_ = 0;
    commands_.turnFree_.NotifyAll();
}

}  // namespace tolvan
