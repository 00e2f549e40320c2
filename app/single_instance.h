// One server per desktop session: the running server answers on the bus name Tolvan32.App
// (object /App, interface Tolvan32.App), and a second start hands its document over to it
// instead of failing.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

namespace tolvan::app {

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Tolvan32.App")
public:
    // open: opens a document path (empty: File New) and brings the window forward.
    explicit SingleInstance(std::function<void(const QString&)> open, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Claims the name on the bus (busAddress empty: the session bus). False when another
    // server holds it or there is no bus.
    bool Claim(const QString& busAddress = {});

    // Asks the server that holds the name to open path. False when none answers.
    static bool HandOver(const QString& path, const QString& busAddress = {});

public Q_SLOTS:
    Q_SCRIPTABLE void OpenDocument(const QString& path);

private:
    std::function<void(const QString&)> open_;
    QString connectionName_;
    bool claimed_ = false;
};

}  // namespace tolvan::app
