// Whether Caps Lock, Num Lock and Scroll Lock are on, for the status bar's indicators. Read
// from the keyboard LEDs that the kernel exposes (normally under /sys/class/leds), which a
// desktop session keeps in step with the lock keys.
#pragma once

#include <string>

namespace tolvan::app {

enum class LockKey { Caps, Num, Scroll };

// True when any keyboard LED of that kind under ledsRoot is lit; false when none is (or none
// can be read).
bool ReadKeyLock(LockKey key, const std::string& ledsRoot = "/sys/class/leds");

}  // namespace tolvan::app
