#include "automation/contract/comm_members.h"

#include <iterator>

namespace {

using tfw::MemberInfo;
using K = tfw::MemberKind;
using T = tfw::VarType;

constexpr K M = K::Method;
constexpr K P = K::Property;

// The C++ operation each row binds to is written after it.
constexpr MemberInfo kCommMembers[] = {
    {"TBuffSize", P, T::I2},  // int16_t Get(), void Set(int16_t)
    {"RBuffSize", P, T::I2},  // int16_t Get(), void Set(int16_t)
    {"ConnectToPort", M, T::I2, {T::I2, T::I4, T::I2, T::I2, T::I2}},
    {"ReadFromPort", M, T::I2, {T::StringRef, T::I2}},  // (span<uint8_t>, int16_t)
    {"ReadStringFromPort", M, T::I2, {T::StringRef, T::I2, T::I2}},
    {"WriteToPort", M, T::I2, {T::StringRef, T::I2}},
    {"SetParam", M, T::I2, {T::I4, T::I2, T::I2, T::I2}},
    {"SetFlowControl", M, T::I2, {T::Bool, T::Bool, T::Bool}},
    {"ClearRBuff", M, T::Empty},
    {"ClearTBuff", M, T::Empty},
    {"CloseConnection", M, T::I2},
    {"SetDefBufSize", M, T::Empty, {T::I2, T::I2}},
    {"GetPortError", M, T::I2},
    {"ClearPortError", M, T::Empty},
    {"GetCommErrorName", M, T::Empty, {T::StringRef, T::I2}},
    {"IsOverflow", M, T::Bool},
    {"LockPort", M, T::Empty},
    {"UnlockPort", M, T::Empty},
    {"IsConnected", M, T::Bool},
    {"GetPortSettings", M, T::Bool, {T::I4Ref, T::I2Ref, T::I2Ref, T::I2Ref}},  // int32_t&, ...
    {"GetPortNumber", M, T::I2},
    {"GetFlowControl", M, T::Bool, {T::BoolRef, T::BoolRef, T::BoolRef}},  // bool&, ...
    {"ReadFromPortTimed", M, T::I2, {T::StringRef, T::I2, T::I4}},
    {"ReadStringFromPortTimed", M, T::I2, {T::StringRef, T::I2, T::I2, T::I4}},
    {"ReadCharFromPort", M, T::I2},
    {"ReadCharFromPortTimed", M, T::I2, {T::I4}},
    {"WriteCharToPort", M, T::I2, {T::I2}},
    {"ReceiveXModemFile", M, T::I2, {T::String, T::I4, T::I2}},  // (const std::string&, ...)
    {"SetDTRLine", M, T::I2, {T::Bool}},
    {"SetRTSLine", M, T::I2, {T::Bool}},
    {"SpaceFreeInRXBuffer", M, T::I4},
    {"SpaceFreeInTXBuffer", M, T::I4},
    {"SpaceUsedInRXBuffer", M, T::I4},
    {"SpaceUsedInTXBuffer", M, T::I4},
    {"GetAvailableCOMM", M, T::Empty, {T::StringRef}},
    {"AbortXfert", M, T::Empty},
};

static_assert(std::size(kCommMembers) == kCommMemberCount);

}  // namespace

std::span<const tfw::MemberInfo> CommMembers() {
    return kCommMembers;
}
