#include "setup/setup_functions.h"

#include "automation/contract/comm_members.h"
#include "framework/dispatch_class.h"
#include "setup/query_comm_param.h"
#include "setup/query_ir_param.h"
#include "setup/query_modem_param.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using kerdal::SetupChannel;

struct MemberIds {
    std::int32_t getAvailableComm;
    std::int32_t connectToPort;
    std::int32_t setFlowControl;
};

// The members used, on a plain channel and on a channel class derived once from it (modem,
// infra-red).
constexpr MemberIds kPlainIds{kDispGetAvailableCOMM, kDispConnectToPort, kDispSetFlowControl};
constexpr MemberIds kDerivedIds{kDerivedDispIdStep + kDispGetAvailableCOMM,
                                kDerivedDispIdStep + kDispConnectToPort,
                                kDerivedDispIdStep + kDispSetFlowControl};

// The channel's port list, read up to its zero byte (or the buffer's end, should the
// channel have written none). False when the call failed.
bool AvailablePorts(SetupChannel& channel, std::int32_t dispid, std::string& ports) {
    std::vector<tfw::Variant> args{
        tfw::Variant::StringRef(std::vector<std::uint8_t>(kerdal::kPortListBufferSize, 0))};
    tfw::Variant result;
    if (!channel.Invoke(dispid, tfw::kDispatchMethod, args, result)) return false;
    if (args[0].Type() != tfw::VarType::StringRef) return false;
    const auto bytes = args[0].Bytes();
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    ports.assign(bytes.begin(), end);
    return true;
}

// The 16-bit status a member returned; kSetupCallFailed when the call failed or gave no
// 16-bit value.
std::int16_t CallStatus(SetupChannel& channel, std::int32_t dispid,
                        std::vector<tfw::Variant> args) {
    tfw::Variant result;
    if (!channel.Invoke(dispid, tfw::kDispatchMethod, args, result))
        return kerdal::kSetupCallFailed;
    if (result.Type() == tfw::VarType::I2) return result.AsI2();
    if (result.Type() == tfw::VarType::I4) return static_cast<std::int16_t>(result.AsI4());
    return kerdal::kSetupCallFailed;
}

std::int16_t Connect(SetupChannel& channel, const MemberIds& ids, std::int32_t port,
                     std::int32_t baud, std::int32_t parity, std::int32_t wordLength,
                     std::int32_t stopBits) {
    return CallStatus(channel, ids.connectToPort,
                      {tfw::Variant::I2(static_cast<std::int16_t>(port)), tfw::Variant::I4(baud),
                       tfw::Variant::I2(static_cast<std::int16_t>(parity)),
                       tfw::Variant::I2(static_cast<std::int16_t>(wordLength)),
                       tfw::Variant::I2(static_cast<std::int16_t>(stopBits))});
}

// Connects with the record's line parameters; then, when that worked, sets its handshaking.
std::int16_t ConnectWithFlowControl(SetupChannel& channel, const MemberIds& ids,
                                    const AndCOMMParam& record) {
    // The parity letter's character code, as a byte: a letter above 127 stays positive.
    const std::int32_t parity = static_cast<unsigned char>(record.chParity);
    const std::int16_t status = Connect(channel, ids, record.nPort, record.lBaudRate, parity,
                                        record.nWordLen, record.nStopBits);
    if (status != 0) return status;
    return CallStatus(
        channel, ids.setFlowControl,
        {tfw::Variant::Bool(record.bDtrDsr != 0), tfw::Variant::Bool(record.bRtsCts != 0),
         tfw::Variant::Bool(record.bXonXoff != 0)});
}

// Asks the channel for its ports and runs `query`'s sheet on `record` (whose bPortFixed
// becomes `portFixed`), whether the user accepts or cancels. False, with no sheet, when
// there is no channel or it did not tell its ports.
template <class Record>
bool AskUser(SetupChannel* channel, const MemberIds& ids,
             int (*query)(const char*, const char*, Record*), const char* caption,
             std::int32_t portFixed, Record& record) {
    std::string ports;
    if (!channel || !AvailablePorts(*channel, ids.getAvailableComm, ports)) return false;
    record.bPortFixed = portFixed;
    query(ports.c_str(), caption, &record);
    return true;
}

}  // namespace

std::int16_t SetupCommPort(SetupChannel* channel, const char* caption, std::int32_t portFixed) {
    AndCOMMParam record;
    if (!AskUser(channel, kPlainIds, QueryCommParam, caption, portFixed, record))
        return kerdal::kSetupCallFailed;
    return ConnectWithFlowControl(*channel, kPlainIds, record);
}

std::int16_t SetupModem(SetupChannel* channel, const char* caption, std::int32_t portFixed) {
    AndModemParam record;
    if (!AskUser(channel, kDerivedIds, QueryModemParam, caption, portFixed, record))
        return kerdal::kSetupCallFailed;
    return ConnectWithFlowControl(*channel, kDerivedIds, record);
}

std::int16_t SetupIR(SetupChannel* channel, const char* caption, std::int32_t portFixed) {
    AndIRParam record;
    if (!AskUser(channel, kDerivedIds, QueryIRParam, caption, portFixed, record))
        return kerdal::kSetupCallFailed;
    // The link always runs with 8 data bits and 1 stop bit.
    return Connect(*channel, kDerivedIds, record.nPort, record.lBaudRate, record.nLinkVariant, 8,
                   1);
}
