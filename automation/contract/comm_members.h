// The automation members of the plain channel, in dispatch order. The modem and infra-red
// channels inherit them (identifiers 0x10001..0x10024 there) and only add tables of their
// own. The channel binds each row to its operation with tfw::Bind / tfw::BindProperty
// (framework/dispatch_binding.h); the C++ signature each row expects is noted beside it.
#pragma once

#include "framework/dispatch_class.h"

#include <cstdint>
#include <span>

// Identifiers on a plain channel. On a derived channel add kDerivedDispIdStep once.
enum CommDispId : std::int32_t {
    kDispTBuffSize = 1,
    kDispRBuffSize,
    kDispConnectToPort,
    kDispReadFromPort,
    kDispReadStringFromPort,
    kDispWriteToPort,
    kDispSetParam,
    kDispSetFlowControl,
    kDispClearRBuff,
    kDispClearTBuff,
    kDispCloseConnection,
    kDispSetDefBufSize,
    kDispGetPortError,
    kDispClearPortError,
    kDispGetCommErrorName,
    kDispIsOverflow,
    kDispLockPort,
    kDispUnlockPort,
    kDispIsConnected,
    kDispGetPortSettings,
    kDispGetPortNumber,
    kDispGetFlowControl,
    kDispReadFromPortTimed,
    kDispReadStringFromPortTimed,
    kDispReadCharFromPort,
    kDispReadCharFromPortTimed,
    kDispWriteCharToPort,
    kDispReceiveXModemFile,
    kDispSetDTRLine,
    kDispSetRTSLine,
    kDispSpaceFreeInRXBuffer,
    kDispSpaceFreeInTXBuffer,
    kDispSpaceUsedInRXBuffer,
    kDispSpaceUsedInTXBuffer,
    kDispGetAvailableCOMM,
    kDispAbortXfert,
};

constexpr std::int32_t kCommMemberCount = 36;
constexpr std::int32_t kDerivedDispIdStep = 0x10000;

// Published name of the table (the typed D-Bus interface and the automation name).
constexpr const char* kCommInterfaceName = "RiVo32.Document";

// The 36 rows.
std::span<const tfw::MemberInfo> CommMembers();
