// The layout of the ring map that the buffer view draws: eight ring positions a line, each
// as a character and as two hexadecimal digits, unread positions marked.
#pragma once

#include "app/channel_buffer_source.h"

#include <array>
#include <cstdint>

namespace tolvan::app {

inline constexpr int kBytesPerLine = 8;

// The character shown for a byte: itself for 32..127, "." for anything else.
char RingChar(std::uint8_t byte);
// Two upper-case hexadecimal digits, high digit first.
std::array<char, 2> RingHex(std::uint8_t byte);

// True when ring position p lies between the read index (inclusive) and the write index
// (exclusive) in ring order, that is it holds a byte not yet read or sent; every position of
// a full buffer does, none of an empty one. Indexes outside the ring are taken modulo its size.
bool IsUnreadPosition(const BufferFigures& f, std::uint32_t p);

// Pixel geometry of the map for a cell width w and line height h.
struct RingGeometry {
    int cellWidth = 1;
    int lineHeight = 1;
    int CharX(std::uint32_t p) const { return static_cast<int>(p % kBytesPerLine) * cellWidth; }
    int HexX(std::uint32_t p) const {
        return kBytesPerLine * cellWidth + 3 + 2 * static_cast<int>(p % kBytesPerLine) * cellWidth;
    }
    int LineY(std::uint32_t p) const { return static_cast<int>(p / kBytesPerLine) * lineHeight; }
    int SeparatorX() const { return kBytesPerLine * cellWidth + 1; }
    // Scroll extent for a ring of size bytes.
    int TotalWidth() const { return 24 * cellWidth + 3; }
    int TotalHeight(std::uint32_t size) const {
        return static_cast<int>(size / kBytesPerLine + 1) * lineHeight;
    }
};

}  // namespace tolvan::app
