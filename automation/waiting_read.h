// A client's timed read that waits in the wait reactor instead of on a worker:
// ReadFromPortTimed, ReadStringFromPortTimed and ReadCharFromPortTimed of a channel
// document, called by a typed interface or by Invoke. The call's arguments stay with it and
// the read goes on in tries of the channel's own (channels/doc_comm.h, TimedRead): pieces
// are joined, terminators found and the answer given as the member gives them, so the
// reply is the one a worker that waited would have sent.
//
// Threads: started and tried once on the worker that took the call; then tried and
// answered on the reactor's thread. The channel outlives it: its call is under way until
// the answer has gone (the server counts it).
#pragma once

#include "automation/channel_router.h"
#include "automation/wait_reactor.h"
#include "channels/doc_comm.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdint>
#include <functional>
#include <memory>

namespace tdbus {

class WaitingRead final : public WaitReactor::Waiter {
public:
    // The read the call asks for, started; null when the call is no such read (it runs
    // as any other call then).
    static std::unique_ptr<WaitingRead> Start(ResolvedCall call, const QDBusMessage& message,
                                              const QDBusConnection& connection,
                                              const CallTarget& target);

    // The call's time limit; 0 or less: one try.
    std::int32_t Milliseconds() const { return ms_; }
    // Called after the answer has gone (the call ended).
    void OnAnswered(std::function<void()> ended) { ended_ = std::move(ended); }

    // With the server lock held.
    bool Try(bool last, tolvan::plat::WaitTarget& sleep) override;
    void Answer() override;

private:
    WaitingRead(ResolvedCall call, const QDBusMessage& message, const QDBusConnection& connection,
                tolvan::CDocComm& doc)
        : call_(std::move(call)), message_(message), connection_(connection), doc_(doc) {}

    ResolvedCall call_;  // its byte buffer is the read's
    QDBusMessage message_;
    QDBusConnection connection_;
    tolvan::CDocComm& doc_;
    tolvan::TimedRead read_;
    std::int32_t ms_ = 0;
    tfw::Variant result_;
    std::function<void()> ended_;
};

}  // namespace tdbus
