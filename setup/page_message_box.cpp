#include "setup/page_message_box.h"

#include "setup/page_strings.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <utility>

namespace kerdal {
namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

int FromQtButton(int button, MessageButtons offered) {
    switch (button) {
        case QMessageBox::Ok:
            return kIdOk;
        case QMessageBox::Yes:
            return kIdYes;
        case QMessageBox::No:
            return kIdNo;
        case QMessageBox::Cancel:
            return kIdCancel;
        default:
            break;
    }
    // Closed by the window manager: whatever stands for "cancel" in this box.
    switch (offered) {
        case MessageButtons::Ok:
            return kIdOk;
        case MessageButtons::YesNo:
            return kIdNo;
        default:
            return kIdCancel;
    }
}

}  // namespace

MessageHook SetPageMessageHook(MessageHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

int ShowPageMessage(QWidget* owner, const QString& text, MessageIcon icon, MessageButtons buttons) {
    MessageRequest request;
    request.owner = owner;
    request.text = text;
    request.caption = page_strings::PageString(page_strings::kIdsAppTitle);
    if (request.caption.isEmpty()) request.caption = QGuiApplication::applicationDisplayName();
    request.icon = icon;
    request.buttons = buttons;
    if (const MessageHook& hook = Hook()) return hook(request);

    QMessageBox box(ToQtIcon(icon), request.caption, text, ToQtButtons(buttons), owner);
    return FromQtButton(box.exec(), buttons);
}

}  // namespace kerdal
