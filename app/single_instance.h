// One server per desktop session: the running server answers on the bus name Tolvan32.App
// (object /App, interface Tolvan32.App), and a second start hands its document over to it
// instead of becoming a second server.
//
// The hand-over call returns at once: the running server queues the document and opens it
// when its window is free (no modal dialog or menu up), so an unanswered box in the running
// server never holds up a second start.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace tolvan::app {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Tolvan32.App")
public:
    enum class ClaimResult { Claimed, Taken, NoBus };
    enum class HandOverResult { Delivered, NoServer, NoAnswer };

    // open: opens a document path (empty: File New) and brings the window forward.
    explicit SingleInstance(std::function<void(const QString&)> open, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name on the bus (busAddress empty: the session bus).
    ClaimResult Claim(const QString& busAddress = {});

    // Asks the server that holds the name to open path. NoServer: nobody holds the name (any
    // more); NoAnswer: a holder did not reply within timeoutMs.
    static HandOverResult HandOver(const QString& path, const QString& busAddress = {},
                                   int timeoutMs = 5000);

    // Documents handed over and not opened yet.
    QStringList Pending() const { return pending_; }

public Q_SLOTS:
    Q_SCRIPTABLE void OpenDocument(const QString& path);

private:
    void OpenPending();

    std::function<void(const QString&)> open_;
    QString connectionName_;
    bool claimed_ = false;
    QStringList pending_;
    QTimer retry_;
};

}  // namespace tolvan::app
