// How long a client waits for the reply to a channel call. The server answers every call
// it takes, but some members wait on purpose before they answer: the timed reads as long
// as their milliseconds argument says, the modem's commands as the channel's work mode says
// (up to nFixedDelay, a register read up to that plus twice the internal time-out). A
// caller that waits less than that gets a "no reply" error although the server answers
// later. So the reply is awaited the bus's usual 25 s beyond the member's own wait.
#pragma once

#include "framework/dispatch_variant.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace tdbus {

// The bus's own limit for a reply; what every member gets beyond its own wait.
constexpr int kDefaultCallTimeoutMs = 25000;
// The longest wait of a modem command: a register read with the command time-out and the
// internal time-out at 65535 ms each.
constexpr std::int64_t kLongestModemWaitMs = 3 * 65535;

// How long the member waits before it answers, at most (0: it answers at once).
// progId: the bus name the channel came from ("RiVo32.Document", "DaRi32.Document",
// "ViDA.Document"); it tells which identifiers the members have.
std::int64_t MemberWaitMs(std::string_view progId, std::int32_t dispid, std::uint16_t flags,
                          std::span<const tfw::Variant> args);

// kDefaultCallTimeoutMs beyond MemberWaitMs, at most INT_MAX (no limit for the bus).
int CallTimeoutMs(std::string_view progId, std::int32_t dispid, std::uint16_t flags,
                  std::span<const tfw::Variant> args);

}  // namespace tdbus
