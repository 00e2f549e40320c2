// The infra-red transceiver's command exchange: presence probe, initialisation bytes and
// the speed commands, sent over the device at 9600 baud before the link starts.
#pragma once

#include <cstdint>
#include <span>

namespace tolvan {

struct IrLinkRecord;

inline constexpr uint8_t kIrProbe = 0xF0;
inline constexpr uint8_t kIrProbeReplyA = 0xF4;
inline constexpr uint8_t kIrProbeReplyB = 0xF5;
inline constexpr int kIrProbeAttempts = 10;
inline constexpr uint32_t kIrProbeReplyMs = 10;
inline constexpr uint8_t kIrInitBytes[11] = {0x03, 0x47, 0x53, 0x64, 0x76, 0xD1,
                                             0x56, 0xD0, 0x87, 0x91, 0x11};

// The speed command for a baud rate (2400, 9600, 19200, 38400, 57600, 115200); empty for
// any other rate.
std::span<const uint8_t> IrSpeedCommand(int32_t baud);

// Resets the transceiver through the lines, waits for its answer to the probe (10
// attempts), sends the initialisation and the speed command and sets the device to
// `baud`. False when the rate has no speed command, the transceiver never answered, or
// the device refused a setting.
bool InitTransceiver(IrLinkRecord& link, int32_t baud);

}  // namespace tolvan
