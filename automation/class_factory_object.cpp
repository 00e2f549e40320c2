#include "automation/class_factory_object.h"

#include "automation/automation_server.h"

namespace tdbus {

ClassFactoryObject::ClassFactoryObject(AutomationServer& server, ChannelClass cls, QObject* parent)
    : QObject(parent), server_(server), class_(cls) {}

QDBusObjectPath ClassFactoryObject::CreateInstance() {
    QString errorName;
    QString errorMessage;
    const QString path =
        server_.CreateInstance(class_, message().service(), &errorName, &errorMessage);
    if (path.isEmpty()) {
        sendErrorReply(errorName, errorMessage);
        return {};
    }
    return QDBusObjectPath(path);
}

}  // namespace tdbus
