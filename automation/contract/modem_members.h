// The automation members of the modem channel, in dispatch order (identifiers 1..14 on a
// modem channel; the plain channel's 36 follow at 0x10001..0x10024), and the published
// names of the modem and infra-red channel tables. The infra-red channel adds no members.
#pragma once

#include "framework/dispatch_class.h"

#include <cstdint>
#include <span>

enum ModemDispId : std::int32_t {
    kDispLpszResponse = 1,  // std::string Get(), void Set(std::string)
    kDispNCommandMode,      // int16_t Get(), void Set(int16_t)
    kDispNFixedDelay,       // int16_t Get(), void Set(int16_t)
    kDispDoCommand,         // int16_t (const std::string&)
    kDispSendString,        // int16_t (const std::string&)
    kDispSetRegister,       // int16_t (int16_t, int16_t)
    kDispGetRegister,       // int16_t (int16_t)
    kDispDial,              // int16_t (const std::string&)
    kDispSetEcho,           // int16_t (bool)
    kDispSetReply,          // int16_t (bool)
    kDispSetLoud,           // int16_t (int16_t)
    kDispSetSpeaker,        // int16_t (int16_t)
    kDispSetPulseDial,      // void (bool)
    kDispSetReplyMode,      // int16_t (bool)
};

constexpr std::int32_t kModemMemberCount = 14;

constexpr const char* kModemInterfaceName = "DaRi32.Document";
constexpr const char* kIRInterfaceName = "ViDA.Document";

std::span<const tfw::MemberInfo> ModemMembers();
