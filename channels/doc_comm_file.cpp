// The .ccf file of the channel document.
#include "channels/doc_comm.h"

#include "platform/server_lock.h"
#include "ports/shared_port.h"
#include "setup/records/comm_param.h"

namespace tolvan {

void CDocComm::Serialize(tfw::CArchive& ar) {
    plat::ServerLockGuard guard;
    if (ar.IsStoring())
        StoreCcf(ar);
    else
        LoadCcf(ar);
}

void CDocComm::StoreCcf(tfw::CArchive& ar) {
    if (port_ == nullptr) {
        ar.WriteInt<std::uint16_t>(kCcfNotConnected);
        return;
    }
    ar.WriteInt(static_cast<std::uint16_t>(port_->PortNumber()));
    std::int32_t baud = 0;
    std::int16_t parity = 0, wordLength = 0, stopBits = 0;
    if (!GetPortSettings(baud, parity, wordLength, stopBits) || baud == 0) {
        ar.WriteInt<std::int32_t>(0);
        return;
    }
    ar.WriteInt(baud);
    ar.WriteInt(static_cast<std::uint8_t>(parity));
    ar.WriteInt(wordLength);
    ar.WriteInt(stopBits);
}

void CDocComm::LoadCcf(tfw::CArchive& ar) {
    std::uint16_t portWord = 0;
    if (!ar.ReadInt(portWord) || portWord == kCcfNotConnected) return;
    std::int32_t baud = 0;
    // A file cut short connects nowhere rather than with made-up settings.
    if (!ar.ReadInt(baud)) return;
    std::int16_t parity = 0, wordLength = 0, stopBits = 0;
    if (baud == 0) {
        const AndCommParam* param = DLLGetCommParam();
        if (param == nullptr) return;
        baud = static_cast<std::int32_t>(param->GetBaudRate(param->GetCurBaudRate()));
        parity = static_cast<std::uint8_t>(param->GetParity(param->GetCurParity()));
        wordLength = static_cast<std::int16_t>(param->GetWrdLen(param->GetCurWrdLen()));
        stopBits = static_cast<std::int16_t>(param->GetStopBit(param->GetCurStopBit()));
    } else {
        std::uint8_t letter = 0;
        if (!ar.ReadInt(letter) || !ar.ReadInt(wordLength) || !ar.ReadInt(stopBits)) return;
        parity = letter;
    }
    ConnectToPort(static_cast<std::int16_t>(portWord), baud, parity, wordLength, stopBits);
}

}  // namespace tolvan
