#include "app/ring_map.h"

namespace tolvan::app {

char RingChar(std::uint8_t byte) {
    return byte >= 32 && byte <= 127 ? static_cast<char>(byte) : '.';
}

std::array<char, 2> RingHex(std::uint8_t byte) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

bool IsUnreadPosition(const BufferFigures& f, std::uint32_t p) {
    if (f.size == 0) return false;
    if (f.count >= f.size) return true;
    // 64-bit so that size + index cannot wrap for rings near 4 GiB.
    const std::uint64_t size = f.size;
    const std::uint64_t read = f.readIndex % size;
    const std::uint64_t write = f.writeIndex % size;
    const std::uint64_t fromRead = (p % size + size - read) % size;
    const std::uint64_t pending = (write + size - read) % size;
    return fromRead < pending;
}

}  // namespace tolvan::app
