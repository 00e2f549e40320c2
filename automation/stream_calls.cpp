#include "automation/stream_calls.h"

#include <unistd.h>

#include <QDBusUnixFileDescriptor>
#include <QVariant>

#include <string>

#include "channels/channel_stream.h"
#include "channels/doc_comm.h"

namespace tdbus {

const QString kStreamInterface = QStringLiteral("Tolvan32.Stream");

namespace {

const QString kBusyError = QStringLiteral("Tolvan32.Error.StreamBusy");

}  // namespace

QDBusMessage RefuseStreamCall(const QDBusMessage& message, const QDBusConnection& connection) {
    if (message.member() == QLatin1String("AcquireStream") &&
        !(connection.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing))
        return message.createErrorReply(
            QStringLiteral("Tolvan32.Error.NoDescriptors"),
            QStringLiteral("this connection cannot carry file descriptors; use OpenTerminal"));
    return {};
}

QDBusMessage AnswerStreamCall(const QDBusMessage& message, tfw::DispatchTarget& target) {
    auto* doc = dynamic_cast<tolvan::CDocComm*>(&target);
    const QString member = message.member();
    if (doc == nullptr || !message.signature().isEmpty() ||
        (member != QLatin1String("OpenTerminal") && member != QLatin1String("AcquireStream")))
        return message.createErrorReply(
            QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
            QStringLiteral("Tolvan32.Stream has OpenTerminal() and AcquireStream()"));
    std::string error;
    if (member == QLatin1String("OpenTerminal")) {
        std::string path;
        if (tolvan::OpenStreamTerminal(*doc, false, &path, &error) != 0)
            return message.createErrorReply(kBusyError, QString::fromStdString(error));
        return message.createReply(QString::fromStdString(path));
    }
    int fd = -1;
    if (tolvan::AcquireChannelStream(*doc, message.service().toStdString(), &fd, &error) != 0)
        return message.createErrorReply(kBusyError, QString::fromStdString(error));
    // The reply carries a duplicate; ours goes, so the client's is the only one.
    const QDBusUnixFileDescriptor passed(fd);
    close(fd);
    return message.createReply(QVariant::fromValue(passed));
}

}  // namespace tdbus
