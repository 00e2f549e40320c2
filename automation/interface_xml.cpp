#include "automation/interface_xml.h"

namespace tdbus {

QString InterfaceElement(const QString& name) {
    for (const InterfaceXml& file : InterfaceXmlFiles()) {
        if (name != QLatin1String(file.name)) continue;
        const QString text = QString::fromUtf8(file.text);
        // The file's own comment before the element documents the interface: keep it.
        qsizetype start = text.indexOf(QLatin1String("<node>"));
        start = start < 0 ? 0 : start + 6;
        const qsizetype end = text.lastIndexOf(QLatin1String("</node>"));
        if (end < start) return {};
        return text.mid(start, end - start).trimmed() + QLatin1Char('\n');
    }
    return {};
}

}  // namespace tdbus
