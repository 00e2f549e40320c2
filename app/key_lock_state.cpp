#include "app/key_lock_state.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tolvan::app {

bool ReadKeyLock(LockKey key, const std::string& ledsRoot) {
    const char* suffix = key == LockKey::Caps  ? "::capslock"
                         : key == LockKey::Num ? "::numlock"
                                               : "::scrolllock";
    std::error_code ec;
    std::filesystem::directory_iterator it(ledsRoot, ec);
    if (ec) return false;
    for (const auto& entry : it) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with(suffix)) continue;
        std::ifstream brightness(entry.path() / "brightness");
        long value = 0;
        if (brightness >> value && value > 0) return true;
    }
    return false;
}

}  // namespace tolvan::app
