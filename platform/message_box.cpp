#include "platform/message_box.h"
#include "platform/ranked_mutex.h"

#include <cstdio>
#include <mutex>

namespace tolvan::plat {

namespace {

RankedMutex g_mutex{LockRank::kMessageBox};
MessageBoxHook g_hook;

int DefaultBox(const std::string& text, const std::string& caption, uint32_t flags) {
    std::fprintf(stderr, "%s: %s\n", caption.empty() ? "Tolvan32" : caption.c_str(), text.c_str());
    // Nobody can answer: take the harmless choice.
    if ((flags & 0x0F) == MB_YESNO) return IDNO;
    if ((flags & 0x0F) == MB_OKCANCEL || (flags & 0x0F) == MB_YESNOCANCEL) return IDCANCEL;
    return IDOK;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard lock(g_mutex);
    MessageBoxHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}

int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
    MessageBoxHook hook;
    {
        std::lock_guard lock(g_mutex);
        hook = g_hook;
    }
    // Called outside the mutex: a box may run an event loop that raises another.
    return hook ? hook(text, caption, flags) : DefaultBox(text, caption, flags);
}

}  // namespace tolvan::plat
