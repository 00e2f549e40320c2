// A client's modem command that waits for the modem's answer in the wait reactor instead of
// on a worker: DoCommand, SetRegister, GetRegister, SetEcho, SetReply, SetReplyMode,
// SetLoud and SetSpeaker of a modem channel, typed or by Invoke. The command is begun on
// the worker (channels/doc_modem_pending.h): it holds the channel's conversation turn and
// goes on in the reactor's tries until its answer is in or its time is over; the reply is
// the one the blocking member would have given.
//
// A command that finds the conversation busy (another command of the channel runs) is not
// begun here: it runs on its worker as any call and waits its turn there.
//
// Threads: begun and tried once on the worker that took the call; then tried and answered
// on the reactor's thread. The channel outlives it: its call is under way until the answer
// has gone (the server counts it).
#pragma once

#include "automation/channel_router.h"
#include "automation/wait_reactor.h"
#include "channels/doc_modem.h"
#include "channels/doc_modem_pending.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tdbus {

class WaitingModem final : public WaitReactor::Waiter {
public:
    // A modem member that waits for the modem's answer.
    static bool Wants(const ResolvedCall& call);
    // The command the call asks for, begun (and answered already when it ended at once,
    // see Answered()); null when the call is no such command or the conversation is busy.
    static std::unique_ptr<WaitingModem> Start(ResolvedCall call, const QDBusMessage& message,
                                               const QDBusConnection& connection,
                                               const CallTarget& target);

    // True when the command ended as it was begun: Answer() at once, no waiting.
    bool Answered() const { return !pending_; }
    // When its current wait ends.
    WaitReactor::Clock::time_point Deadline() const { return deadline_; }
    // Called after the answer has gone (the call ended).
    void OnAnswered(std::function<void()> ended) { ended_ = std::move(ended); }

    // With the server lock held.
    bool Try(bool last, tolvan::plat::WaitTarget& sleep) override;
    std::optional<WaitReactor::Clock::time_point> NextDeadline() override;
    void Answer() override;

    // Made by Start only (the key).
    class Key {
        friend class WaitingModem;
        Key() = default;
    };
    WaitingModem(Key, ResolvedCall call, const QDBusMessage& message,
                 const QDBusConnection& connection, tolvan::CDocModem& doc)
        : call_(std::move(call)), message_(message), connection_(connection), doc_(doc) {}

private:
    void StartWait();

    ResolvedCall call_;
    QDBusMessage message_;
    QDBusConnection connection_;
    tolvan::CDocModem& doc_;
    std::unique_ptr<tolvan::ModemPending> pending_;
    std::int16_t status_ = 0;
    WaitReactor::Clock::time_point deadline_;
    bool moved_ = false;  // the last try began another wait
    std::function<void()> ended_;
};

}  // namespace tdbus
