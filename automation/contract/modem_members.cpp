#include "automation/contract/modem_members.h"

#include <iterator>

namespace {

using tfw::MemberInfo;
using K = tfw::MemberKind;
using T = tfw::VarType;

constexpr K M = K::Method;
constexpr K P = K::Property;

constexpr MemberInfo kModemMembers[] = {
    {"lpszResponse", P, T::String},
    {"nCommandMode", P, T::I2},
    {"nFixedDelay", P, T::I2},
    {"DoCommand", M, T::I2, {T::String}},
    {"SendString", M, T::I2, {T::String}},
    {"SetRegister", M, T::I2, {T::I2, T::I2}},
    {"GetRegister", M, T::I2, {T::I2}},
    {"Dial", M, T::I2, {T::String}},
    {"SetEcho", M, T::I2, {T::Bool}},
    {"SetReply", M, T::I2, {T::Bool}},
    {"SetLoud", M, T::I2, {T::I2}},
    {"SetSpeaker", M, T::I2, {T::I2}},
    {"SetPulseDial", M, T::Empty, {T::Bool}},
    {"SetReplyMode", M, T::I2, {T::Bool}},
};

static_assert(std::size(kModemMembers) == kModemMemberCount);

}  // namespace

std::span<const tfw::MemberInfo> ModemMembers() {
    return kModemMembers;
}
