#include "automation/contract/call_timeout.h"

#include "automation/contract/comm_members.h"
#include "automation/contract/modem_members.h"

#include <algorithm>
#include <limits>

namespace tdbus {

namespace {

// The plain channel's members are inherited one derivation step down on the modem and
// infra-red channels.
std::int32_t InheritedBase(std::string_view progId) {
    return progId == kCommInterfaceName ? 0 : kDerivedDispIdStep;
}

std::int64_t Milliseconds(const tfw::Variant& v) {
    std::int64_t ms = 0;
    if (v.Type() == tfw::VarType::I4 || v.Type() == tfw::VarType::I4Ref)
        ms = v.AsI4();
    else if (v.Type() == tfw::VarType::I2 || v.Type() == tfw::VarType::I2Ref)
        ms = v.AsI2();
    return std::max<std::int64_t>(ms, 0);
}

bool ModemCommandWaits(std::int32_t dispid) {
    switch (dispid) {
        case kDispDoCommand:
        case kDispSetRegister:
        case kDispGetRegister:
        case kDispSetEcho:
        case kDispSetReply:
        case kDispSetLoud:
        case kDispSetSpeaker:
        case kDispSetReplyMode:
            return true;
        default:
            return false;  // SendString and Dial do not wait for the modem
    }
}

}  // namespace

std::int64_t MemberWaitMs(std::string_view progId, std::int32_t dispid, std::uint16_t flags,
                          std::span<const tfw::Variant> args) {
    if (!(flags & tfw::kDispatchMethod)) return 0;  // properties answer at once
    const std::int32_t base = InheritedBase(progId);
    // The timed reads take their time limit as the last argument.
    if (dispid == base + kDispReadFromPortTimed || dispid == base + kDispReadStringFromPortTimed ||
        dispid == base + kDispReadCharFromPortTimed)
        return args.empty() ? 0 : Milliseconds(args.back());
    if (progId == kModemInterfaceName && ModemCommandWaits(dispid)) return kLongestModemWaitMs;
    return 0;
}

int CallTimeoutMs(std::string_view progId, std::int32_t dispid, std::uint16_t flags,
                  std::span<const tfw::Variant> args) {
    const std::int64_t total = kDefaultCallTimeoutMs + MemberWaitMs(progId, dispid, flags, args);
    return static_cast<int>(std::min<std::int64_t>(total, std::numeric_limits<int>::max()));
}

}  // namespace tdbus
