#include "automation/server_object.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QPointer>

#include "automation/automation_server.h"
#include "automation/channel_host.h"
#include "platform/atoms.h"

#include <QDBusMetaType>

namespace tdbus {

QDBusArgument& operator<<(QDBusArgument& arg, const PortEntry& entry) {
    arg.beginStructure();
    arg << entry.number << entry.device << entry.open << entry.channels;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortEntry& entry) {
    arg.beginStructure();
    arg >> entry.number >> entry.device >> entry.open >> entry.channels;
    arg.endStructure();
    return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const ChannelEntry& entry) {
    arg.beginStructure();
    arg << entry.title << entry.className << entry.path << entry.port << entry.window;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, ChannelEntry& entry) {
    arg.beginStructure();
    arg >> entry.title >> entry.className >> entry.path >> entry.port >> entry.window;
    arg.endStructure();
    return arg;
}

void RegisterServerTypes() {
    qDBusRegisterMetaType<PortEntry>();
    qDBusRegisterMetaType<PortEntryList>();
    qDBusRegisterMetaType<ChannelEntry>();
    qDBusRegisterMetaType<ChannelEntryList>();
}

ServerObject::ServerObject(AutomationServer& server, ChannelHost& host)
    : server_(server), host_(host) {}

ushort ServerObject::GlobalAddAtom(const QString& name) {
    return tolvan::plat::GlobalAddAtom(name.toStdString());
}

ushort ServerObject::GlobalFindAtom(const QString& name) {
    return tolvan::plat::GlobalFindAtom(name.toStdString());
}

ushort ServerObject::GlobalDeleteAtom(ushort atom) {
    return tolvan::plat::GlobalDeleteAtom(atom);
}

PortEntryList ServerObject::ListPorts() {
    if (!calledFromDBus()) return PortList();
    // Right after the start the probe may still try a device: the answer waits for it,
    // the window thread does not.
    QPointer<ServerObject> self(this);
    const QDBusMessage asked = message();
    const QDBusConnection bus = connection();
    if (host_.WhenPortsKnown([self, asked, bus] {
            if (self) bus.send(asked.createReply(QVariant::fromValue(self->PortList())));
        }))
        return PortList();
    setDelayedReply(true);
    return {};
}

PortEntryList ServerObject::PortList() {
    PortEntryList out;
    for (const PortSummary& p : host_.DescribePorts()) {
        PortEntry e;
        e.number = static_cast<qint16>(p.number);
        e.device = QString::fromStdString(p.device);
        e.open = p.open;
        for (const std::string& title : p.channels) e.channels << QString::fromStdString(title);
        out << e;
    }
    return out;
}

ChannelEntryList ServerObject::ListChannels() {
    ChannelEntryList out;
    for (const ChannelSummary& c : host_.DescribeChannels()) {
        ChannelEntry e;
        e.title = QString::fromStdString(c.title);
        e.className = QLatin1String(BusNameOf(c.cls));
        // References come and go on this thread only, so a hosted channel described
        // above is still the server's (or has no path, when no client holds it).
        e.path = c.hosted ? server_.PathOf(c.hosted) : QString();
        e.port = static_cast<qint16>(c.port);
        e.window = c.window;
        out << e;
    }
    return out;
}

}  // namespace tdbus
