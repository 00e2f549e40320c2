// The parameter records that the setup functions fill from their dialogs and that callers
// pass around: port and line settings, modem settings, how a modem channel waits for
// replies, everything needed to dial, and the infra-red link settings. Each default
// constructor sets the defaults below. Booleans are 32-bit integers, as the callers keep them.
#pragma once

#include <cstdint>
#include <string>

struct AndCOMMParam {
    std::int32_t nPort = 2;         // COM port number
    std::int32_t lBaudRate = 9600;  // bit/s
    char chParity = 'N';            // 'O', 'E', 'N', 'M' or 'S'
    std::int32_t nWordLen = 8;      // data bits
    std::int32_t nStopBits = 1;     // 1 or 2
    std::int32_t bDtrDsr = 0;       // DTR/DSR handshaking
    std::int32_t bRtsCts = 0;       // RTS/CTS handshaking
    std::int32_t bXonXoff = 0;      // XON/XOFF handshaking
    std::int32_t bPortFixed = 0;    // 1: the caller fixed the port, no port page

    AndCOMMParam() = default;
};

struct AndModemParam : AndCOMMParam {
    char chDelay = ',';                 // "Delay character:"
    std::string strDialPrefix = "ATD";  // "Dialing prefix:"
    std::string strDialSuffix;          // "Dialing suffix:"
    std::string strHangUp = "ATH0";     // "Hang up command:"
    std::string strInit = "AT&F1";      // "Initialization string:"
    std::int32_t nMaxRedials = 5;       // "Max number of redials:"
    std::int32_t nRedialPause = 5;      // seconds between redials
    std::int32_t nDelayTime = 2;        // seconds
    std::int32_t nConnectTime = 30;     // seconds to wait for a connection
    std::int32_t bDtrHangUp = 0;        // hang up by dropping DTR

    AndModemParam() = default;
};

struct AndModemMode {
    std::string strResponse = "OK";             // awaited response
    std::string strPhoneList = "phonenum.lst";  // phone list file
    std::int32_t nTimeout = 1000;               // ms
    std::int32_t nInternalTimeout = 1000;       // ms
    std::int32_t nReplyMode = 1;                // 0 digits, 1 words
    std::int32_t nLoud = 2;                     // 1 min, 2 mid, 3 max
    std::int32_t nSpeaker = 2;                  // 0 off, 1 while dialing, 2 always, 3 before answer
    std::int32_t nWorkMode = 0;  // 0 no wait, 1 wait for the timeout, 2 for the response
    std::int32_t bEcho = 0;
    std::int32_t bReply = 1;
    std::int32_t nDialMode = 0;  // 0 tone, 1 pulse

    AndModemMode() = default;
};

struct AndModemConnectionSettings {
    AndModemParam param;
    AndModemMode mode;
    std::string strDialString;   // number to dial
    std::int32_t bAdvanced = 0;  // 1 when the advanced sheet was accepted

    AndModemConnectionSettings() = default;
};

struct AndIRParam {
    std::int32_t nPort = 2;
    std::int32_t nLinkVariant = 1;  // passed as the parity argument when connecting
    std::int32_t bPortFixed = 0;
    std::int32_t lBaudRate = 9600;

    AndIRParam() = default;
};
