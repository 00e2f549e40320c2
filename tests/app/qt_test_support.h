// Helpers for the widget tests: mouse events delivered to real widgets, pixel checks on grabs.
#pragma once

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QRect>
#include <QWidget>

#include <ostream>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace tolvan::app::test {

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
inline void Press(QWidget* w, QPoint pos, Qt::MouseButton b = Qt::LeftButton,
                  Qt::MouseButtons held = Qt::NoButton) {
    SendMouse(w, QEvent::MouseButtonPress, pos, b, held | b);
}
inline void Move(QWidget* w, QPoint pos, Qt::MouseButtons held = Qt::NoButton) {
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, held);
}
inline void Release(QWidget* w, QPoint pos, Qt::MouseButton b = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonRelease, pos, b, Qt::NoButton);
}

// Number of pixels of exactly that colour inside r.
inline int CountColour(const QImage& image, const QRect& r, QColor colour) {
    int n = 0;
    const QRect area = r.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb()) ++n;
    return n;
}

// Where grabs are written for a person to look at.
inline QString GrabPath(const char* name) {
    return QStringLiteral("/tmp/tolvan-app-%1.png").arg(QLatin1String(name));
}

}  // namespace tolvan::app::test
