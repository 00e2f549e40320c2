// Feeds arbitrary text to the "host:port" parser and to the network URL check, as a profile
// or a client may hand them over.
//
// What must hold for an address that parses: the port is 1..65535 and is the decimal number
// after the last colon; the host is not empty, holds no blank, control or URL character and
// a colon only when it came in brackets; the address written back in its plain form parses to
// the same host and port. A URL is a network URL exactly when it starts with "socket://" or
// "rfc2217://", and is well formed exactly when the rest parses.
#include "platform/comm_device.h"
#include "platform/net_address.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace tolvan::plat;

// A broken property names its line, so the report of a crashing input says which.
void Check(bool ok, int line = __builtin_LINE()) {
    if (ok) return;
    std::fprintf(stderr, "property broken at line %d of %s\n", line, __FILE__);
    std::abort();
}

bool HostCharOk(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > ' ' && u < 0x7F && c != '/' && c != '[' && c != ']' && c != '@' && c != '?' &&
           c != '#';
}

std::string Plain(const NetAddress& a) {
    const bool v6 = a.host.find(':') != std::string::npos;
    return (v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

void CheckAddress(std::string_view text) {
    NetAddress a;
    if (!ParseNetAddress(text, &a)) return;
    Check(a.port >= 1);
    Check(!a.host.empty());
    for (char c : a.host) Check(HostCharOk(c));
    const bool bracketed = text.front() == '[';
    Check(bracketed == (a.host.find(':') != std::string::npos));

    const size_t colon = text.rfind(':');
    Check(colon != std::string_view::npos && colon + 1 < text.size() && text.size() - colon <= 6);
    uint32_t value = 0;
    for (char c : text.substr(colon + 1)) {
        Check(c >= '0' && c <= '9');
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    Check(value == a.port);
    Check(text.substr(0, colon) == (bracketed ? "[" + a.host + "]" : a.host));

    NetAddress again;
    Check(ParseNetAddress(Plain(a), &again));
    Check(again.host == a.host && again.port == a.port);
}

void CheckUrl(const std::string& url) {
    const bool raw = url.starts_with("socket://");
    const bool scheme = raw || url.starts_with("rfc2217://");
    bool wellFormed = true;
    Check(IsNetworkUrl(url, &wellFormed) == scheme);
    if (!scheme) {
        Check(!wellFormed);
        return;
    }
    NetAddress a;
    Check(wellFormed == ParseNetAddress(std::string_view(url).substr(raw ? 9 : 10), &a));
    if (wellFormed) CheckAddress(std::string_view(url).substr(raw ? 9 : 10));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckAddress(text);
    CheckUrl(text);
    CheckUrl("socket://" + text);
    CheckUrl("rfc2217://" + text);
    return 0;
}
