// Telnet framing for serial data over TCP: 0xFF (IAC) bytes doubled on the way out,
// commands and option sub-negotiations separated from the data on the way in. The
// decoder keeps its state between calls, so a command split across reads is whole.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace tolvan::plat::telnet {

inline constexpr uint8_t IAC = 255;
inline constexpr uint8_t DONT = 254;
inline constexpr uint8_t DO = 253;
inline constexpr uint8_t WONT = 252;
inline constexpr uint8_t WILL = 251;
inline constexpr uint8_t SB = 250;
inline constexpr uint8_t SE = 240;

inline constexpr uint8_t kOptBinary = 0;
inline constexpr uint8_t kOptSuppressGoAhead = 3;
inline constexpr uint8_t kOptComPort = 44;

// Appends data with every IAC doubled.
void AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>* out);
// How many data bytes the first `wireSent` bytes of AppendEscaped(data) carry. A byte
// counts once its first wire byte went; *owedIac is set when the send ended inside a
// doubled IAC, whose second half must then go before anything else.
uint32_t DataBytesCarried(std::span<const uint8_t> data, uint32_t wireSent, bool* owedIac);
// Appends IAC verb option (verb: WILL, WONT, DO, DONT).
void AppendOption(uint8_t verb, uint8_t option, std::vector<uint8_t>* out);
// Appends IAC SB option <payload, IACs doubled> IAC SE.
void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload,
                          std::vector<uint8_t>* out);

// What came in besides data.
struct Command {
    uint8_t verb = 0;              // WILL/WONT/DO/DONT, SB for a sub-negotiation, or another
                                   // two-byte command (NOP, break, ...)
    uint8_t option = 0;            // the option of WILL/WONT/DO/DONT/SB
    std::vector<uint8_t> payload;  // a sub-negotiation's bytes after the option, undoubled
};

class Decoder {
public:
    // Data bytes are appended to *data, commands to *commands, in order of arrival.
    void Feed(std::span<const uint8_t> in, std::vector<uint8_t>* data,
              std::vector<Command>* commands);

private:
    enum class State { kData, kIac, kOption, kSubOption, kSubData, kSubIac };
    // A sub-negotiation longer than this is cut (a confused peer cannot grow it unbounded).
    static constexpr size_t kMaxPayload = 256;
    State state_ = State::kData;
    Command pending_;
};

}  // namespace tolvan::plat::telnet
