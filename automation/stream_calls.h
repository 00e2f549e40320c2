// Tolvan32.Stream on the channel objects (automation/interfaces/Tolvan32.Stream.xml):
// OpenTerminal and AcquireStream, answered on a worker like any channel call.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

namespace tfw {
class DispatchTarget;
}

namespace tdbus {

extern const QString kStreamInterface;

// The reply to a Tolvan32.Stream call on the channel behind `target` (a D-Bus error when
// it is no channel document, the member is unknown, or the channel has another stream).
// The caller's unique name is the stream's holder.
QDBusMessage AnswerStreamCall(const QDBusMessage& message, tfw::DispatchTarget& target);

// A refusal to send at once when the call cannot be answered on this connection
// (AcquireStream on a connection that carries no file descriptors); else an invalid
// message.
QDBusMessage RefuseStreamCall(const QDBusMessage& message, const QDBusConnection& connection);

}  // namespace tdbus
