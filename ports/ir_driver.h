// The infra-red link driver (driver type 18): a transceiver on a COM port presented as a
// port object. The port operations only move bytes between the caller and the user
// rings; the link itself runs in LinkStep/LinkPump (ports/ir_link.h), which the shared
// port's idle service calls for every infra-red port object.
#pragma once

#include <cstdint>
#include <memory>

#include "ports/ir_link.h"
#include "ports/port_object.h"

namespace tolvan {

// Opens COM<portIndex + 1> as an infra-red link at `baud`. `mode` (0 or 1) has no effect.
// Returns the port object (type 18, status 0, not on the open port list), or nullptr when
// the link cannot be opened; `linkCode`, when given, receives the link result code
// (0, or 10 memory, 13 device, 14 set-up or transceiver).
PortObject* OpenIrPort(int32_t portIndex, int32_t baud, int16_t mode, int* linkCode = nullptr);

// The link record of an infra-red port object; nullptr for any other port object and for
// an infra-red one whose link is gone (a failed SetLine).
IrLinkRecord* IrLink(PortObject* p);
// The same link, shared: it stays valid across a wait that lets the server lock go, even
// when the port object drops it meanwhile (closed, or a new line set). A dropped link is
// closed (state 0, device closed), so whoever still holds it finds nothing more to do.
std::shared_ptr<IrLinkRecord> SharedIrLink(PortObject* p);

// Link result code -> status code: 12 -8, 11 -9, 10 -5, 13 -7, 14 -6, 0 0.
int IrStatusFromLinkCode(int code);

}  // namespace tolvan
