// Custom baud rates (no Bnnn constant) through termios2 and BOTHER. Kept apart because
// the kernel's termios2 headers clash with the C library's <termios.h>.
#pragma once

#include <cstdint>

namespace tolvan::plat {

// Sets both directions of fd to `baud`; false with errno when the device refuses.
bool SetCustomBaud(int fd, uint32_t baud);
// The output rate of fd as the kernel reports it; false with errno on failure.
bool GetActualBaud(int fd, uint32_t* baud);

}  // namespace tolvan::plat
