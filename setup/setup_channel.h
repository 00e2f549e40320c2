#pragma once
// A channel as the Setup... functions reach it: by late-bound calls with dispatch
// identifiers, the way any client drives a channel of the server. The library knows
// nothing of the transport; a client's dispatch driver stands behind this interface.
//
// DispatchDriverChannel adapts any driver with the call
//   bool Invoke(std::int32_t dispid, std::uint16_t flags, std::vector<tfw::Variant>& args,
//               tfw::Variant& result)
// (such as tdbus::DispatchDriver), so a client passes its driver as it is:
//   tdbus::DispatchDriver channel;
//   channel.CreateDispatch("RiVo32.Document");
//   std::int16_t status = SetupCommPort(&channel, "Connect", 0);

#include "framework/dispatch_variant.h"

#include <concepts>
#include <cstdint>
#include <vector>

namespace kerdal {

class SetupChannel {
public:
    virtual ~SetupChannel() = default;
    // Calls member `dispid` with `args` in declared order; by-reference arguments hold
    // their new values afterwards. False when the call itself failed (no server, unknown
    // member, wrong arguments); `result` is then meaningless.
    virtual bool Invoke(std::int32_t dispid, std::uint16_t flags, std::vector<tfw::Variant>& args,
                        tfw::Variant& result) = 0;
};

// A driver other than a SetupChannel itself (those are passed as they are).
template <class Driver>
concept DispatchDriverLike =
    !std::derived_from<Driver, SetupChannel> &&
    requires(Driver & driver, std::vector<tfw::Variant>& args, tfw::Variant& result) {
    { driver.Invoke(std::int32_t{}, std::uint16_t{}, args, result) } -> std::convertible_to<bool>;
};

template <DispatchDriverLike Driver>
class DispatchDriverChannel final : public SetupChannel {
public:
    explicit DispatchDriverChannel(Driver& driver) : driver_(driver) {}
    bool Invoke(std::int32_t dispid, std::uint16_t flags, std::vector<tfw::Variant>& args,
                tfw::Variant& result) override {
        return driver_.Invoke(dispid, flags, args, result);
    }

private:
    Driver& driver_;
};

}  // namespace kerdal
