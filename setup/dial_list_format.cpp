#include "setup/dial_list_format.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace {

constexpr std::string_view kIndent = "     ";
constexpr std::string_view kCrLf = "\r\n";

// Decimal number at pos as the C library reads one: blanks, a sign, digits; no digits is 0.
// Out of the 32-bit range it saturates instead of wrapping.
std::int32_t DecimalAt(std::string_view s, std::size_t pos) {
    if (pos >= s.size()) return 0;
    while (pos < s.size() && std::isspace(static_cast<unsigned char>(s[pos]))) ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos])); ++pos) {
        value = value * 10 + (s[pos] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return static_cast<std::int32_t>(value > std::numeric_limits<std::int32_t>::max() ? value - 1
                                                                                      : value);
}

std::string OneLine(const std::string& field) {
    std::string out = field.substr(0, kMaxDialListField);
    for (char& c : out)
        if (c == '\r') c = ' ';
    return out;
}

}  // namespace

long ReadDialListLine(tfw::CArchive& ar, std::string& text) {
    text.clear();
    long count = 0;
    int previous = -1;
    for (;;) {
        std::uint8_t byte = 0;
        if (ar.ReadByte(byte) != tfw::ArchiveStatus::Ok) break;  // end of file or failure
        if (byte == ' ' && count == 0) continue;
        if (byte == '\n' && previous == '\r') break;
        if (text.size() >= kMaxDialListLine) return -1;
        text.push_back(static_cast<char>(byte));
        ++count;
        previous = byte;
    }
    if (auto cr = text.find('\r'); cr != std::string::npos) {
        text.resize(cr);
        --count;
    }
    return count;
}

void ParseDialListSettings(std::string_view line, tagDialEntry& entry) {
    const tagDialEntry defaults;
    entry.lBaudRate = DecimalAt(line, 0);
    entry.chParity = defaults.chParity;
    entry.nWordLen = defaults.nWordLen;
    entry.nStopBits = defaults.nStopBits;
    entry.chDuplex = defaults.chDuplex;

    std::size_t c1 = line.find(',');
    if (c1 == std::string_view::npos) return;
    if (c1 + 1 < line.size()) entry.chParity = line[c1 + 1];
    if (c1 + 3 >= line.size()) return;
    entry.nWordLen = DecimalAt(line, c1 + 3);
    std::size_t c2 = line.find(',', c1 + 3);
    if (c2 == std::string_view::npos) return;
    if (c2 + 1 < line.size()) entry.nStopBits = DecimalAt(line, c2 + 1);
    std::size_t c3 = line.find(',', c2 + 1);
    if (c3 == std::string_view::npos || c3 + 1 >= line.size()) return;
    entry.chDuplex = line[c3 + 1];
}

void WriteDialListEntry(tfw::CArchive& ar, int index, const tagDialEntry& e) {
    ar.Write(std::to_string(index + 1));
    ar.Write(" ");
    ar.Write(OneLine(e.strComment));
    ar.Write(kCrLf);

    std::string dial = OneLine(e.strDialString);
    ar.Write(kIndent);
    ar.Write(dial);
    // A line of spaces would end the list; a CR before the line end keeps it a line.
    if (dial.find_first_not_of(' ') == std::string::npos) ar.Write("\r");
    ar.Write(kCrLf);

    ar.Write(kIndent);
    ar.Write(std::to_string(e.lBaudRate));
    ar.Write(",");
    ar.Write(std::string_view(&e.chParity, 1));
    ar.Write(",");
    ar.Write(std::to_string(e.nWordLen));
    ar.Write(",");
    ar.Write(std::to_string(e.nStopBits));
    ar.Write(",");
    ar.Write(std::string_view(&e.chDuplex, 1));
    ar.Write(kCrLf);
}

void ReadDialListEntries(tfw::CArchive& ar, std::vector<tagDialEntry>& out) {
    std::string line1, line2, line3;
    if (ReadDialListLine(ar, line1) <= 0) return;
    for (;;) {
        if (ReadDialListLine(ar, line2) <= 0) return;
        if (ReadDialListLine(ar, line3) <= 0) return;
        tagDialEntry e;
        std::size_t space = line1.find(' ');
        e.strComment = space == std::string::npos ? line1 : line1.substr(space + 1);
        e.strDialString = line2;
        ParseDialListSettings(line3, e);
        out.push_back(std::move(e));
        if (ReadDialListLine(ar, line1) <= 0) return;
    }
}
