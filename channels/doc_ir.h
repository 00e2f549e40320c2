// The infra-red channel: a plain channel whose port runs the framed infra-red link. It
// connects and sets its parameters with nIRParity as the parity argument (0 or 1 make
// the shared port open the infra-red link; the port then reports 115200, N, 8, 1 and no
// handshakes), adds no automation members (the plain channel's 36 are 0x10001..0x10024
// on "ViDA.Document") and stores nIRParity (32 bits) after the plain channel's .icf fields.
#pragma once

#include "channels/doc_comm.h"

#include <cstdint>

namespace tolvan {

class CDocIR : public CDocComm {
public:
    CDocIR() = default;

    // Runtime class "CDocIR" (no schema) for document templates.
    static const tfw::DocumentClass& Class();
    static const tfw::DispatchClass& IRDispatchClass();
    const tfw::DispatchClass& GetDispatchClass() const override;

    std::int32_t IRParity() const { return nIRParity_; }
    void SetIRParity(std::int32_t parity) { nIRParity_ = parity; }

    // What the setup sheet does on OK. Connect: ConnectToPort(port, baud, parity, 8, 1).
    // Settings: SetParam(baud, parity, 8, 1), and on success parity becomes nIRParity.
    // The status of the port (0 on success).
    std::int16_t ConnectIR(std::int16_t port, std::int32_t baud, std::int32_t parity);
    std::int16_t SetIRParam(std::int32_t baud, std::int32_t parity);

    // The plain channel's fields (which open the port with the plain driver when loaded),
    // then nIRParity for the next connect.
    void Serialize(tfw::CArchive& ar) override;

private:
    std::int32_t nIRParity_ = 1;
};

}  // namespace tolvan
