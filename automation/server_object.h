// Object "/Server" of the server's bus names: Tolvan32.Server, the global atom table of
// platform/atoms.h for clients (a client aborts a reception by adding "ABORTXFER"). The
// adaptor is generated from interfaces/Tolvan32.Server.xml.
#pragma once

#include <QObject>
#include <QString>

namespace tdbus {

class ServerObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public Q_SLOTS:
    ushort GlobalAddAtom(const QString& name);
    ushort GlobalFindAtom(const QString& name);
    ushort GlobalDeleteAtom(ushort atom);
};

}  // namespace tdbus
