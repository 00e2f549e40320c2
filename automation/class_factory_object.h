// Object "/" of each bus name: Tolvan32.ClassFactory for one channel class. The adaptor is
// generated from interfaces/Tolvan32.ClassFactory.xml.
#pragma once

#include "automation/channel_host.h"

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

namespace tdbus {

class AutomationServer;

class ClassFactoryObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    ClassFactoryObject(AutomationServer& server, ChannelClass cls, QObject* parent = nullptr);

public Q_SLOTS:
    QDBusObjectPath CreateInstance();

private:
    AutomationServer& server_;
    ChannelClass class_;
};

}  // namespace tdbus
