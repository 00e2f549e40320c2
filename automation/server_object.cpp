#include "automation/server_object.h"

#include "platform/atoms.h"

namespace tdbus {

ushort ServerObject::GlobalAddAtom(const QString& name) {
    return tolvan::plat::GlobalAddAtom(name.toStdString());
}

ushort ServerObject::GlobalFindAtom(const QString& name) {
    return tolvan::plat::GlobalFindAtom(name.toStdString());
}

ushort ServerObject::GlobalDeleteAtom(ushort atom) {
    return tolvan::plat::GlobalDeleteAtom(atom);
}

}  // namespace tdbus
