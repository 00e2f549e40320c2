// Answers every message box with OK and keeps its text, for its lifetime; the hook in place
// before is put back on destruction.
#pragma once

#include <string>
#include <vector>

#include "platform/message_box.h"

namespace tolvan::test {

class MessageBoxRecorder {
public:
    MessageBoxRecorder()
        : previous_(plat::SetMessageBoxHook(
              [this](const std::string& text, const std::string&, uint32_t) {
                  texts.push_back(text);
                  return plat::IDOK;
              })) {}
    ~MessageBoxRecorder() { plat::SetMessageBoxHook(previous_); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<std::string> texts;

private:
    plat::MessageBoxHook previous_;
};

}  // namespace tolvan::test
