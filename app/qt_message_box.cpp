#include "app/qt_message_box.h"

#include "app/app_strings.h"
#include "platform/message_box.h"
#include "platform/server_lock.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

namespace tolvan::app {

namespace {

QPointer<QWidget>& Owner() {
    static QPointer<QWidget> owner;
    return owner;
}

QMessageBox::Icon IconOf(std::uint32_t flags) {
    switch (flags & 0xF0) {
        case plat::MB_ICONSTOP:
            return QMessageBox::Critical;
        case plat::MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case plat::MB_ICONQUESTION:
            return QMessageBox::Question;
        default:
            return QMessageBox::Information;
    }
}

int Show(const std::string& text, const std::string& caption, std::uint32_t flags) {
    // Centred on the main window while it is shown; a hidden one would put it anywhere.
    QWidget* owner = Owner();
    QMessageBox box(owner && owner->isVisible() ? owner : nullptr);
    box.setWindowTitle(
        QString::fromStdString(caption.empty() ? std::string(AppString(57344)) : caption));
    box.setText(QString::fromStdString(text));
    box.setIcon(IconOf(flags));
    const std::uint32_t buttons = flags & 0x0F;
    switch (buttons) {
        case plat::MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case plat::MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case plat::MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
    }
    // A box raised while a document opens is answered with the ordinary pointer.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int pressed = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    switch (pressed) {
        case QMessageBox::Yes:
            return plat::IDYES;
        case QMessageBox::No:
            return plat::IDNO;
        case QMessageBox::Cancel:
            return plat::IDCANCEL;
        case QMessageBox::Ok:
            return plat::IDOK;
        default:
            // Closed by the window manager: whatever stands for "leave it" in this box.
            return buttons == plat::MB_YESNO ? plat::IDNO
                   : buttons == plat::MB_OKCANCEL || buttons == plat::MB_YESNOCANCEL
                       ? plat::IDCANCEL
                       : plat::IDOK;
    }
}

}  // namespace

void SetMessageBoxOwner(QWidget* owner) {
    Owner() = owner;
}

int ShowQtMessageBox(const std::string& text, const std::string& caption, std::uint32_t flags) {
    if (QThread::currentThread() == qApp->thread()) return Show(text, caption, flags);
    if ((flags & 0x0F) == plat::MB_OK) {
        QMetaObject::invokeMethod(
            qApp, [text, caption, flags] { Show(text, caption, flags); }, Qt::QueuedConnection);
        return plat::IDOK;
    }
    plat::ServerUnlockScope unlocked(plat::LockRelease::kMessageBox);
    int answer = plat::IDOK;
    QMetaObject::invokeMethod(
        qApp, [&] { answer = Show(text, caption, flags); }, Qt::BlockingQueuedConnection);
    return answer;
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

}  // namespace tolvan::app
