#include "automation/interface_xml.h"

#include <QFile>

namespace tdbus {

QString InterfaceXmlText(const QString& name) {
    QFile file(QStringLiteral(":/tolvan32/interfaces/") + name + QStringLiteral(".xml"));
    if (name.isEmpty() || !file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString InterfaceElement(const QString& name) {
    const QString text = InterfaceXmlText(name);
    if (text.isEmpty()) return {};
    // The file's own comment before the element documents the interface: keep it.
    qsizetype start = text.indexOf(QLatin1String("<node>"));
    start = start < 0 ? 0 : start + 6;
    const qsizetype end = text.lastIndexOf(QLatin1String("</node>"));
    if (end < start) return {};
    return text.mid(start, end - start).trimmed() + QLatin1Char('\n');
}

}  // namespace tdbus
