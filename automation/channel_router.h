// The channel calls of the bus, routed to the dispatch core: Tolvan32.Dispatch
// (GetIDsOfNames, Invoke), the typed interfaces of the channel's class (RiVo32.Document,
// DaRi32.Document) and org.freedesktop.DBus.Properties on their properties. A call comes
// in as a message and leaves as its reply (or an error naming the member and the argument
// at fault). The automation server owns the channels and decides on which thread a call
// runs; the router only turns one message into one Invoke.
//
// Threads: Route runs on the call queue's workers (and on the window thread for calls that
// cannot wait), several at once. A reception started through ReceiveXModemFile points the
// transfer route at its channel before the call, one start at a time.
#pragma once

#include "automation/channel_host.h"
#include "automation/transfer_signal.h"
#include "platform/ranked_mutex.h"

#include <QDBusMessage>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tdbus {

// "/Channels", and the path of the channel object `id` below it.
const QString& ChannelsPath();
QString ChannelPath(std::uint32_t id);

// What a call needs of its channel (copied: the server's record stays on the window thread).
struct CallTarget {
    std::uint32_t id;
    ChannelClass cls;
    HostedChannel* channel;
};

// A method call resolved to its member and arguments, as Route would run it.
struct ResolvedCall {
    const tfw::MemberInfo* info = nullptr;
    std::int32_t dispid = 0;
    std::vector<tfw::Variant> args;
    bool typed = true;  // a typed interface's call, else Tolvan32.Dispatch.Invoke
};

class ChannelRouter {
public:
    // `connectionNames`: the server's bus connection of each class, read when a reception
    // starts; the server keeps them while calls run.
    ChannelRouter(std::shared_ptr<TransferRoute> transferRoute,
                  const std::array<QString, kChannelClassCount>& connectionNames);

    // The reply to one channel call.
    QDBusMessage Route(const QDBusMessage& message, const CallTarget& target);
    // The method a typed call or an Invoke names, with its arguments, for a caller that
    // runs it in its own way (a wait that holds no thread); nullopt for anything else and
    // for calls Route would refuse (Route answers those). Any thread.
    std::optional<ResolvedCall> ResolveMethod(const QDBusMessage& message,
                                              const CallTarget& target) const;
    // The reply Route gives when the resolved call ran with `result`.
    static QDBusMessage Reply(const QDBusMessage& message, const ResolvedCall& call,
                              const tfw::Variant& result);

private:
    QDBusMessage Dispatch(const QDBusMessage& message, const CallTarget& target);
    QDBusMessage DispatchTyped(const QDBusMessage& message, const CallTarget& target);
    // The typed method `message` names: its row and identifier, or null (interfaceFound
    // tells whether the interface was there).
    static const tfw::MemberInfo* FindTyped(const QDBusMessage& message, const CallTarget& target,
                                            std::int32_t* dispid, bool* interfaceFound);
    QDBusMessage DispatchProperties(const QDBusMessage& message, const CallTarget& target);
    // An empty message when the call succeeded, else the error reply.
    QDBusMessage RunInvoke(const QDBusMessage& message, const CallTarget& target,
                           std::int32_t dispid, std::uint16_t flags,
                           std::vector<tfw::Variant>& args, tfw::Variant& result);

    // The channel whose reception is running (used on the transfer thread).
    std::shared_ptr<TransferRoute> transferRoute_;
    const std::array<QString, kChannelClassCount>& connectionNames_;
    // Workers starting receptions set and restore the route one at a time.
    tolvan::plat::RankedMutex transferStart_{tolvan::plat::LockRank::kTransferStart};
};

}  // namespace tdbus
