#include "automation/channel_host.h"

#include "platform/server_lock.h"

namespace tdbus {

const char* BusNameOf(ChannelClass cls) {
    switch (cls) {
        case ChannelClass::Plain:
            return "RiVo32.Document";
        case ChannelClass::Modem:
            return "DaRi32.Document";
        case ChannelClass::InfraRed:
            return "ViDA.Document";
    }
    return "";
}

tfw::DispatchStatus HostedChannel::Invoke(std::int32_t dispid, std::uint16_t flags,
                                          std::span<tfw::Variant> args, tfw::Variant& result,
                                          std::size_t* badArg) {
    tolvan::plat::ServerLockGuard lock;
    return tfw::Invoke(Target(), dispid, flags, args, result, badArg);
}

}  // namespace tdbus
