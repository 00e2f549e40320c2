// The serial driver (driver type 15): one COM device of the platform serial API as a
// port object. All buffering is in the device queues; the driver keeps no data.
#pragma once

#include <cstdint>
#include <string>

#include "platform/comm_types.h"
#include "ports/port_object.h"

namespace tolvan {

// The driver record, fields in order. The shared port reaches in to replace `handle` (or,
// for a network connection, to put it back as a fresh open leaves it).
struct SerialDriverRecord : DriverRecord {
    uint32_t rxQueueSize = 0;
    uint32_t txQueueSize = 0;
    plat::Dcb dcb{};      // as last composed; every line operation applies it whole
    uint32_t errors = 0;  // CE_ bits since the last ClearLineStatus
    uint32_t savedEventMask = 0;
    uint32_t uartWord = 0;  // printed by Dump after "8250:"; never set
    uint32_t reservedWords[6] = {};
    plat::CommHandle handle = plat::kInvalidCommHandle;
    plat::CommTimeouts savedTimeouts{};
};

inline constexpr uint32_t kDefaultQueueSize = 1050;

// Opens COM<portIndex + 1> and applies the line. Always returns a port object; look at
// `status` (non-zero: not usable, only Close helps). On memory failure: the placeholder.
PortObject* OpenWin32Port(int32_t portIndex, int32_t baud, int16_t parity, int16_t wordLength,
                          int16_t stopBits);
// The queue sizes copied into every new driver record (1050 and 1050 at start).
void SetDefaultQueueSizes(uint32_t rxSize, uint32_t txSize);
uint32_t DefaultRxQueueSize();
uint32_t DefaultTxQueueSize();

// SetLine of the serial driver (also reached through the table): checks and stores the
// line in the record's block and applies it. Does not clear `status` first.
int SerialSetLine(PortObject* p, int32_t baud, int16_t parity, int16_t wordLength,
                  int16_t stopBits);

// The block changes made for a freshly opened device: binary mode, no null stripping,
// no CTS/DSR output flow, DTR and RTS raised (ENABLE), XON 17 / XOFF 19, both limits
// rxQueueSize / 4, EOF and event characters 0. Parity checking is left to the caller.
void PrepareSerialDcb(plat::Dcb* dcb, uint32_t rxQueueSize);

// The driver record of a serial port object, or nullptr for any other port object.
SerialDriverRecord* SerialRecord(PortObject* p);

// Last system error -> status: 2 and 3 give -14, 5 gives -3, anything else -1.
int StatusFromSystemError(uint32_t error);

// The device name of a port index: "\\.\COM<index + 1>".
std::string Win32DeviceName(int32_t portIndex);

}  // namespace tolvan
