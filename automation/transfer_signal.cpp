#include "automation/transfer_signal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariant>

namespace tdbus {

TransferRoute::Target TransferRoute::Set(Target target) {
    std::lock_guard lock(mutex_);
    Target previous = std::move(target_);
    target_ = std::move(target);
    return previous;
}

void TransferRoute::Emit(std::int16_t window, std::int32_t wParam, std::int32_t lParam) {
    std::lock_guard lock(mutex_);
    if (target_.path.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        target_.path, QStringLiteral("Tolvan32.Transfer"), QStringLiteral("XferProgress"));
    signal << QVariant::fromValue<short>(window) << QVariant::fromValue<int>(wParam)
           << QVariant::fromValue<int>(lParam);
    QDBusConnection(target_.connection).send(signal);
    if (wParam != 1) target_ = {};
}

}  // namespace tdbus
