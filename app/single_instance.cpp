#include "app/single_instance.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>

namespace tolvan::app {

namespace {
constexpr const char* kName = "Tolvan32.App";
constexpr const char* kPath = "/App";
// While a modal dialog or a menu is up, the queue is looked at again this often.
constexpr int kRetryMs = 200;

QDBusConnection Connect(const QString& busAddress, const QString& connectionName) {
    if (busAddress.isEmpty())
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    return QDBusConnection::connectToBus(busAddress, connectionName);
}
}  // namespace

SingleInstance::SingleInstance(std::function<void(const QString&)> open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &SingleInstance::OpenPending);
}

SingleInstance::~SingleInstance() {
    if (connectionName_.isEmpty()) return;
    QDBusConnection bus(connectionName_);
    if (claimed_) {
        bus.unregisterObject(kPath);
        bus.unregisterService(kName);
    }
    QDBusConnection::disconnectFromBus(connectionName_);
}

SingleInstance::ClaimResult SingleInstance::Claim(const QString& busAddress) {
    connectionName_ = QStringLiteral("tolvan32-app-%1").arg(quintptr(this), 0, 16);
    QDBusConnection bus = Connect(busAddress, connectionName_);
    if (!bus.isConnected()) return ClaimResult::NoBus;
    if (!bus.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots))
        return ClaimResult::NoBus;
    if (!bus.registerService(kName)) {
        bus.unregisterObject(kPath);
        // Refused although the bus works: another server holds the name.
        return ClaimResult::Taken;
    }
    claimed_ = true;
    return ClaimResult::Claimed;
}

SingleInstance::HandOverResult SingleInstance::HandOver(const QString& path,
                                                        const QString& busAddress, int timeoutMs) {
    const QString connectionName = QStringLiteral("tolvan32-handover");
    HandOverResult result = HandOverResult::NoServer;
    {
        QDBusConnection bus = Connect(busAddress, connectionName);
        if (bus.isConnected()) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(kName, kPath, kName, QStringLiteral("OpenDocument"));
            call << path;
            const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage)
                result = HandOverResult::Delivered;
            else if (reply.errorName() == QDBusError::errorString(QDBusError::ServiceUnknown))
                result = HandOverResult::NoServer;
            else
                result = HandOverResult::NoAnswer;
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return result;
}

void SingleInstance::OpenDocument(const QString& path) {
    // Answered at once; the window opens the document once it is free.
    pending_ << path;
    if (!retry_.isActive()) retry_.start(0);
}

void SingleInstance::OpenPending() {
    while (!pending_.isEmpty()) {
        // Inside another dialog's loop the document would open behind it, and its own
        // questions would stack on the user's.
        if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) {
            retry_.start(kRetryMs);
            return;
        }
        const QString path = pending_.takeFirst();
        if (open_) open_(path);
    }
}

}  // namespace tolvan::app
