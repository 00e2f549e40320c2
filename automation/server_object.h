// Object "/Server" of the server's bus names: Tolvan32.Server, the global atom table of
// platform/atoms.h for clients (a client aborts a reception by adding "ABORTXFER"), and
// the lists of the server's ports and channels. The adaptor is generated from
// interfaces/Tolvan32.Server.xml.
#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace tdbus {

class AutomationServer;
class ChannelHost;

// One entry of ListPorts: (nsbas).
struct PortEntry {
    qint16 number = 0;
    QString device;
    bool open = false;
    QStringList channels;
};
using PortEntryList = QList<PortEntry>;

// One entry of ListChannels: (sssnb).
struct ChannelEntry {
    QString title;
    QString className;
    QString path;
    qint16 port = 0;
    bool window = false;
};
using ChannelEntryList = QList<ChannelEntry>;

QDBusArgument& operator<<(QDBusArgument& arg, const PortEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& arg, PortEntry& entry);
QDBusArgument& operator<<(QDBusArgument& arg, const ChannelEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& arg, ChannelEntry& entry);

// Makes the entry types known to Qt D-Bus (before the object is published).
void RegisterServerTypes();

class ServerObject : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    // The lists come from the host; channel paths from the server.
    ServerObject(AutomationServer& server, ChannelHost& host);

public Q_SLOTS:
    ushort GlobalAddAtom(const QString& name);
    ushort GlobalFindAtom(const QString& name);
    ushort GlobalDeleteAtom(ushort atom);
    tdbus::PortEntryList ListPorts();
    tdbus::ChannelEntryList ListChannels();

private:
    PortEntryList PortList();

    AutomationServer& server_;
    ChannelHost& host_;
};

}  // namespace tdbus

Q_DECLARE_METATYPE(tdbus::PortEntry)
Q_DECLARE_METATYPE(tdbus::ChannelEntry)
