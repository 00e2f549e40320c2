// The interface descriptions of automation/interfaces/*.xml, compiled into the server as Qt
// resources (":/tolvan32/interfaces/<interface name>.xml").
#pragma once

#include <QString>

namespace tdbus {

// The whole file of one interface, e.g. "RiVo32.Document"; empty when unknown.
QString InterfaceXmlText(const QString& name);

// The <interface> element of one interface, as introspection data; empty when unknown.
QString InterfaceElement(const QString& name);

}  // namespace tdbus
