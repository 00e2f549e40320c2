// The modem channel's own stored settings (command strings and dialing settings) and
// their part of the .mcf file, which follows the plain channel's fields:
//   chDelay 8 bits, strDialPrefix, strDialSuffix, strHangUp, strInit (framework strings),
//   nMaxRedials 16 bits, nRedialPause 16 bits (little-endian).
// bDtrHangUp and the modem mode record are not stored.
#pragma once

#include "framework/archive.h"

#include <cstdint>
#include <string>

namespace tolvan {

struct ModemChannelSettings {
    std::string strInit = "AT&F1";
    std::string strHangUp = "ATH0";
    std::string strDialPrefix = "ATD";
    std::string strDialSuffix;
    char chDelay = ',';
    std::int32_t nMaxRedials = 5;
    std::int32_t nRedialPause = 5;  // seconds
    std::int32_t bDtrHangUp = 0;
};

void StoreModemSettings(tfw::CArchive& ar, const ModemChannelSettings& settings);
// Reads the stored fields into settings (the 16-bit counts as unsigned values); fields
// after a failure keep their values. False when the archive failed.
bool LoadModemSettings(tfw::CArchive& ar, ModemChannelSettings& settings);

}  // namespace tolvan
