// What the automation server needs from the application: a way to create channels of a
// class and to drive them. The application implements it with its channel documents.
#pragma once

#include "framework/dispatch_class.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <functional>
#include <string>
#include <vector>

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

// One COM port of the server, for Tolvan32.Server.ListPorts.
struct PortSummary {
    int number = 0;
    std::string device;  // what the number stands for ("/dev/ttyUSB0", "loop://")
    bool open = false;
    std::vector<std::string> channels;  // titles of the channels connected to it
};

// One channel, for Tolvan32.Server.ListChannels.
struct ChannelSummary {
    std::string title;
    ChannelClass cls = ChannelClass::Plain;
    int port = 0;                           // COM number, 0 when not connected
    bool window = false;                    // the user sees it in a window
    const HostedChannel* hosted = nullptr;  // null when no client holds it
};

class ChannelHost {
public:
    virtual ~ChannelHost() = default;
    // A new channel of the class without a window, holding one reference; null when it
    // cannot be created. The object stays valid until its last Release.
    virtual HostedChannel* CreateChannel(ChannelClass cls) = 0;

    // What the server has, on the window thread; a host without ports or channels to
    // show lists none.
    virtual std::vector<PortSummary> DescribePorts() { return {}; }
    virtual std::vector<ChannelSummary> DescribeChannels() { return {}; }
    // On the window thread: true when the machine's ports are known (the start-up probe
    // has ended); else false, and `then` runs on the window thread once they are.
    virtual bool WhenPortsKnown(std::function<void()> then) {
        (void)then;
        return true;
    }
};

}  // namespace tdbus
