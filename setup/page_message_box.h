#pragma once
// Every message box of the setup pages and sheets goes through ShowPageMessage, so that a
// test or a script can answer it by installing a hook instead of a person clicking.

#include "setup/kerdal32_export.h"
#include <QString>

#include <functional>
#include <utility>

class QWidget;

namespace kerdal {

enum class MessageIcon { None, Information, Warning, Question, Error };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// The button the user pressed, with the values the rest of the system compares against.
enum MessageResult : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

struct MessageRequest {
    QWidget* owner = nullptr;  // the page or sheet that asks; may be null
    QString text;
    QString caption;  // the application title
    MessageIcon icon = MessageIcon::Warning;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageHook = std::function<int(const MessageRequest&)>;

// Installs a hook that answers every later message instead of a message box; an empty
// hook restores the real box. Returns the hook that was installed before.
KERDAL32_API MessageHook SetPageMessageHook(MessageHook hook);

// Installs a hook for its lifetime and puts the one before it back when it ends.
class ScopedPageMessageHook {
public:
    explicit ScopedPageMessageHook(MessageHook hook)
        : previous_(SetPageMessageHook(std::move(hook))) {}
    ~ScopedPageMessageHook() { SetPageMessageHook(std::move(previous_)); }
    ScopedPageMessageHook(const ScopedPageMessageHook&) = delete;
    ScopedPageMessageHook& operator=(const ScopedPageMessageHook&) = delete;

private:
    MessageHook previous_;
};

// Shows `text` with the application title as caption and returns the pressed button
// (a MessageResult). Without a hook this is a modal QMessageBox owned by `owner`.
KERDAL32_API int ShowPageMessage(QWidget* owner, const QString& text,
                                 MessageIcon icon = MessageIcon::Warning,
                                 MessageButtons buttons = MessageButtons::Ok);

}  // namespace kerdal
