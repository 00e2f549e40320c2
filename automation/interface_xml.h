// The interface descriptions of automation/interfaces/*.xml, compiled into the server.
#pragma once

#include <QString>

#include <vector>

namespace tdbus {

struct InterfaceXml {
    const char* name;  // the interface name, e.g. "RiVo32.Document"
    const char* text;  // the whole file
};

const std::vector<InterfaceXml>& InterfaceXmlFiles();

// The <interface> element of one interface, as introspection data; empty when unknown.
QString InterfaceElement(const QString& name);

}  // namespace tdbus
