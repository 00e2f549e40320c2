// Message boxes raised below the user interface (drivers, link). The application sets a
// hook that shows a real box; tests set a recorder. The default writes the text to
// stderr and answers at once, so a hidden server never blocks on one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace tolvan::plat {

inline constexpr uint32_t MB_OK = 0x0000;
inline constexpr uint32_t MB_OKCANCEL = 0x0001;
inline constexpr uint32_t MB_YESNOCANCEL = 0x0003;
inline constexpr uint32_t MB_YESNO = 0x0004;
inline constexpr uint32_t MB_ICONSTOP = 0x0010;
inline constexpr uint32_t MB_ICONQUESTION = 0x0020;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x0030;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// text, caption (empty: the default caption), MB_* flags -> ID* answer.
using MessageBoxHook =
    std::function<int(const std::string& text, const std::string& caption, uint32_t flags)>;

// Returns the previous hook. An empty hook restores the default.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Installs a hook for its lifetime and puts the one before it back when it ends.
class ScopedMessageBoxHook {
public:
    explicit ScopedMessageBoxHook(MessageBoxHook hook)
        : previous_(SetMessageBoxHook(std::move(hook))) {}
    ~ScopedMessageBoxHook() { SetMessageBoxHook(std::move(previous_)); }
    ScopedMessageBoxHook(const ScopedMessageBoxHook&) = delete;
    ScopedMessageBoxHook& operator=(const ScopedMessageBoxHook&) = delete;

private:
    MessageBoxHook previous_;
};
int ShowMessageBox(const std::string& text, const std::string& caption = {},
                   uint32_t flags = MB_OK);

}  // namespace tolvan::plat
