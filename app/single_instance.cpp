#include "app/single_instance.h"

#include <QDBusMessage>

namespace tolvan::app {

namespace {
constexpr const char* kName = "Tolvan32.App";
constexpr const char* kPath = "/App";

QDBusConnection Connect(const QString& busAddress, const QString& connectionName) {
    if (busAddress.isEmpty())
        return QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    return QDBusConnection::connectToBus(busAddress, connectionName);
}
}  // namespace

SingleInstance::SingleInstance(std::function<void(const QString&)> open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {}

SingleInstance::~SingleInstance() {
    if (connectionName_.isEmpty()) return;
    QDBusConnection bus(connectionName_);
    if (claimed_) {
        bus.unregisterObject(kPath);
        bus.unregisterService(kName);
    }
    QDBusConnection::disconnectFromBus(connectionName_);
}

bool SingleInstance::Claim(const QString& busAddress) {
    connectionName_ = QStringLiteral("tolvan32-app-%1").arg(quintptr(this), 0, 16);
    QDBusConnection bus = Connect(busAddress, connectionName_);
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots)) return false;
    if (!bus.registerService(kName)) {
        bus.unregisterObject(kPath);
        return false;
    }
    claimed_ = true;
    return true;
}

bool SingleInstance::HandOver(const QString& path, const QString& busAddress) {
    const QString connectionName = QStringLiteral("tolvan32-handover");
    bool done = false;
    {
        QDBusConnection bus = Connect(busAddress, connectionName);
        if (bus.isConnected()) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(kName, kPath, kName, QStringLiteral("OpenDocument"));
            call << path;
            done = bus.call(call, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return done;
}

void SingleInstance::OpenDocument(const QString& path) {
    if (open_) open_(path);
}

}  // namespace tolvan::app
