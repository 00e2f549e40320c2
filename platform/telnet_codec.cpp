#include "platform/telnet_codec.h"

namespace tolvan::plat::telnet {

void AppendEscaped(std::span<const uint8_t> data, std::vector<uint8_t>* out) {
    for (uint8_t b : data) {
        out->push_back(b);
        if (b == IAC) out->push_back(IAC);
    }
}

uint32_t DataBytesCarried(std::span<const uint8_t> data, uint32_t wireSent, bool* owedIac) {
    *owedIac = false;
    uint32_t used = 0;
    uint32_t count = 0;
    for (uint8_t b : data) {
        if (used >= wireSent) break;
        ++count;
        used += b == IAC ? 2 : 1;
        *owedIac = used > wireSent;
    }
    return count;
}

void AppendOption(uint8_t verb, uint8_t option, std::vector<uint8_t>* out) {
    out->insert(out->end(), {IAC, verb, option});
}

void AppendSubnegotiation(uint8_t option, std::span<const uint8_t> payload,
                          std::vector<uint8_t>* out) {
    out->insert(out->end(), {IAC, SB, option});
    AppendEscaped(payload, out);
    out->insert(out->end(), {IAC, SE});
}

void Decoder::Feed(std::span<const uint8_t> in, std::vector<uint8_t>* data,
                   std::vector<Command>* commands) {
    for (uint8_t b : in) {
        switch (state_) {
            case State::kData:
                if (b == IAC)
                    state_ = State::kIac;
                else
                    data->push_back(b);
                break;
            case State::kIac:
                if (b == IAC) {
                    data->push_back(IAC);
                    state_ = State::kData;
                } else if (b == WILL || b == WONT || b == DO || b == DONT) {
                    pending_ = Command{b, 0, {}};
                    state_ = State::kOption;
                } else if (b == SB) {
                    pending_ = Command{SB, 0, {}};
                    state_ = State::kSubOption;
                } else {
                    commands->push_back(Command{b, 0, {}});
                    state_ = State::kData;
                }
                break;
            case State::kOption:
                pending_.option = b;
                commands->push_back(std::move(pending_));
                state_ = State::kData;
                break;
            case State::kSubOption:
                pending_.option = b;
                state_ = State::kSubData;
                break;
            case State::kSubData:
                if (b == IAC)
                    state_ = State::kSubIac;
                else if (pending_.payload.size() < kMaxPayload)
                    pending_.payload.push_back(b);
                break;
            case State::kSubIac:
                if (b == SE) {
                    commands->push_back(std::move(pending_));
                    state_ = State::kData;
                } else if (b == IAC) {
                    if (pending_.payload.size() < kMaxPayload) pending_.payload.push_back(IAC);
                    state_ = State::kSubData;
                } else {
                    // IAC with anything else inside a sub-negotiation: the peer broke it off; the
                    // byte starts a command of its own.
                    state_ = State::kIac;
                    Feed(std::span<const uint8_t>(&b, 1), data, commands);
                }
                break;
        }
    }
}

}  // namespace tolvan::plat::telnet
