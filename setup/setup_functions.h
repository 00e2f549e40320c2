#pragma once
// Connect a channel of the server with settings the user chooses: each function asks the
// channel for the server's ports (GetAvailableCOMM), runs the sheet of the matching
// query function on a default record whose bPortFixed is `portFixed` (QueryCommParam,
// QueryModemParam, QueryIRParam), and then connects the channel with ConnectToPort,
// whether the sheet was accepted or cancelled (after a cancel: COM2, 9600, 'N', 8, 1).
// With a fixed port the port sent is the record's default, 2.
//
//   SetupCommPort  a plain channel ("RiVo32.Document"); then SetFlowControl with the
//                  chosen handshaking when the connection succeeded.
//   SetupModem     a modem channel ("DaRi32.Document"); the same, by the identifiers a
//                  modem channel gives those members. The "Modem" page's values stay in
//                  the function: only line parameters and handshaking reach the channel.
//   SetupIR        a modem or infra-red channel ("ViDA.Document"); the link variant goes
//                  as the parity argument, always with 8 data bits and 1 stop bit, and no
//                  flow control follows.
//
// The result is the 16-bit status of the last call made (0 success, else the channel's
// status code). When a call itself fails (the channel cannot be reached) the result is
// kSetupCallFailed and nothing after it is done: no sheet when the port list could not be
// had. No messages of their own are shown.

#include "setup/kerdal32_export.h"
#include "setup/setup_channel.h"

#include <cstddef>
#include <cstdint>

namespace kerdal {

// "Failure to connect to port": the channel did not answer a call.
inline constexpr std::int16_t kSetupCallFailed = -32;

// Size of the buffer the channel writes its port list into.
inline constexpr std::size_t kPortListBufferSize = 1024;

}  // namespace kerdal

KERDAL32_API std::int16_t SetupCommPort(kerdal::SetupChannel* channel, const char* caption,
                                        std::int32_t portFixed);
KERDAL32_API std::int16_t SetupModem(kerdal::SetupChannel* channel, const char* caption,
                                     std::int32_t portFixed);
KERDAL32_API std::int16_t SetupIR(kerdal::SetupChannel* channel, const char* caption,
                                  std::int32_t portFixed);

namespace kerdal {

using SetupFunction = std::int16_t (*)(SetupChannel*, const char*, std::int32_t);

// Runs `setup` on the channel a client's dispatch driver reaches (on none without a driver).
template <DispatchDriverLike Driver>
std::int16_t SetupThroughDriver(SetupFunction setup, Driver* driver, const char* caption,
                                std::int32_t portFixed) {
    if (!driver) return setup(nullptr, caption, portFixed);
    DispatchDriverChannel<Driver> channel(*driver);
    return setup(&channel, caption, portFixed);
}

}  // namespace kerdal

// The same with a client's dispatch driver in place of the channel.
template <kerdal::DispatchDriverLike Driver>
std::int16_t SetupCommPort(Driver* driver, const char* caption, std::int32_t portFixed) {
    return kerdal::SetupThroughDriver(SetupCommPort, driver, caption, portFixed);
}

template <kerdal::DispatchDriverLike Driver>
std::int16_t SetupModem(Driver* driver, const char* caption, std::int32_t portFixed) {
    return kerdal::SetupThroughDriver(SetupModem, driver, caption, portFixed);
}

template <kerdal::DispatchDriverLike Driver>
std::int16_t SetupIR(Driver* driver, const char* caption, std::int32_t portFixed) {
    return kerdal::SetupThroughDriver(SetupIR, driver, caption, portFixed);
}
