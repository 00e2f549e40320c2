#include "channels/doc_ir.h"

#include "automation/contract/modem_members.h"
#include "framework/archive.h"

#include <memory>

namespace tolvan {

namespace {

std::unique_ptr<tfw::CDocument> CreateIR() {
    return std::make_unique<CDocIR>();
}

constexpr std::int16_t kIRWordLength = 8;
constexpr std::int16_t kIRStopBits = 1;

}  // namespace

const tfw::DocumentClass& CDocIR::Class() {
    static const tfw::DocumentClass kClass{"CDocIR", 0xFFFF, &CreateIR};
    return kClass;
}

const tfw::DispatchClass& CDocIR::IRDispatchClass() {
    static const tfw::DispatchClass kClass("CDocIR", kIRInterfaceName, {}, {},
                                           &CDocComm::CommDispatchClass());
    return kClass;
}

const tfw::DispatchClass& CDocIR::GetDispatchClass() const {
    return IRDispatchClass();
}

std::int16_t CDocIR::ConnectIR(std::int16_t port, std::int32_t baud, std::int32_t parity) {
    return ConnectToPort(port, baud, static_cast<std::int16_t>(parity), kIRWordLength, kIRStopBits);
}

std::int16_t CDocIR::SetIRParam(std::int32_t baud, std::int32_t parity) {
    const std::int16_t status =
        SetParam(baud, static_cast<std::int16_t>(parity), kIRWordLength, kIRStopBits);
    if (status == 0) nIRParity_ = parity;
    return status;
}

void CDocIR::Serialize(tfw::CArchive& ar) {
    CDocComm::Serialize(ar);
    if (ar.IsStoring())
        ar << nIRParity_;
    else
        ar >> nIRParity_;
}

}  // namespace tolvan
