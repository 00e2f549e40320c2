// What the automation server needs from the application: a way to create channels of a
// class and to drive them. The application implements it with its channel documents.
#pragma once

#include "framework/dispatch_class.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tdbus {

// The three automation classes, one per bus name.
enum class ChannelClass { Plain, Modem, InfraRed };
constexpr int kChannelClassCount = 3;

// "RiVo32.Document", "DaRi32.Document", "ViDA.Document".
const char* BusNameOf(ChannelClass cls);

// One channel lent to clients.
class HostedChannel {
public:
    virtual ~HostedChannel() = default;

    virtual tfw::DispatchTarget& Target() = 0;

    // The server mirrors every client reference here (CreateInstance gives the first one),
    // so the channel knows while clients hold it. When Release drops the last reference the
    // host destroys the channel unless the user has taken it into a window; the server does
    // not touch the object after that Release.
    virtual void AddRef() = 0;
    virtual void Release() = 0;

    // Runs one member call on a worker thread of the automation server (several calls,
    // on this and other channels, may run at once). The default takes the server lock
    // (platform/server_lock.h) around the dispatch core's Invoke; the one wait function
    // lets it go while a member waits. AddRef and Release come on the window thread, and
    // never the last Release while a call runs.
    virtual tfw::DispatchStatus Invoke(std::int32_t dispid, std::uint16_t flags,
                                       std::span<tfw::Variant> args, tfw::Variant& result,
                                       std::size_t* badArg);
};

class ChannelHost {
public:
    virtual ~ChannelHost() = default;
    // A new channel of the class without a window, holding one reference; null when it
    // cannot be created. The object stays valid until its last Release.
    virtual HostedChannel* CreateChannel(ChannelClass cls) = 0;
};

}  // namespace tdbus
