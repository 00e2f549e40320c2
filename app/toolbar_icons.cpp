#include "app/toolbar_icons.h"

#include "app/command_ids.h"

#include <QPainter>
#include <QPainterPath>

namespace tolvan::app {

namespace {

const QColor kInk(0, 0, 0);
const QColor kPaper(255, 255, 255);
const QColor kFolder(0xE0, 0xC0, 0x40);
const QColor kBlue(0, 0, 0x80);
const QColor kGrey(0x80, 0x80, 0x80);

void Page(QPainter& p, int x, int y, int w, int h) {
    p.setPen(kInk);
    p.setBrush(kPaper);
    QPolygon outline;
    outline << QPoint(x, y) << QPoint(x + w - 4, y) << QPoint(x + w, y + 4) << QPoint(x + w, y + h)
            << QPoint(x, y + h);
    p.drawPolygon(outline);
    p.drawLine(x + w - 4, y, x + w - 4, y + 4);
    p.drawLine(x + w - 4, y + 4, x + w, y + 4);
}

}  // namespace

QPixmap ToolbarImage(int commandId) {
    QPixmap image(kButtonImageWidth, kButtonImageHeight);
    image.fill(Qt::transparent);
    QPainter p(&image);
    switch (commandId) {
        case cmd::FileNew:
            Page(p, 3, 1, 10, 13);
            break;
        case cmd::FileOpen:
            p.setPen(kInk);
            p.setBrush(kFolder);
            p.drawRect(1, 4, 12, 9);
            p.drawRect(1, 2, 5, 2);
            p.setBrush(kFolder.lighter(120));
            p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(13, 13), QPoint(1, 13)}));
            break;
        case cmd::FileSave:
            p.setPen(kInk);
            p.setBrush(kBlue);
            p.drawRect(1, 1, 13, 13);
            p.setBrush(kPaper);
            p.drawRect(4, 1, 7, 5);
            p.setBrush(kGrey);
            p.drawRect(4, 9, 7, 5);
            break;
        case cmd::EditCut:
            p.setPen(kInk);
            p.drawLine(4, 1, 9, 9);
            p.drawLine(11, 1, 6, 9);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(2, 9, 4, 4);
            p.drawEllipse(9, 9, 4, 4);
            break;
        case cmd::EditCopy:
            Page(p, 1, 1, 8, 9);
            Page(p, 6, 4, 8, 10);
            break;
        case cmd::EditPaste:
            p.setPen(kInk);
            p.setBrush(kFolder);
            p.drawRect(1, 2, 10, 12);
            p.setBrush(kGrey);
            p.drawRect(4, 1, 4, 2);
            Page(p, 6, 5, 8, 9);
            break;
        case cmd::FilePrint:
            p.setPen(kInk);
            p.setBrush(kPaper);
            p.drawRect(4, 1, 8, 5);
            p.setBrush(kGrey.lighter(140));
            p.drawRect(1, 6, 14, 6);
            p.setBrush(kPaper);
            p.drawRect(4, 10, 8, 4);
            p.fillRect(12, 8, 2, 1, Qt::green);
            break;
        case cmd::AppAbout:
        case cmd::ContextHelp: {
            QFont font = p.font();
            font.setPixelSize(12);
            font.setBold(true);
            p.setFont(font);
            p.setPen(kInk);
            if (commandId == cmd::ContextHelp) {
                p.setBrush(kInk);
                p.drawPolygon(QPolygon({QPoint(1, 1), QPoint(1, 11), QPoint(4, 8), QPoint(7, 13),
                                        QPoint(8, 12), QPoint(6, 7), QPoint(9, 7)}));
                p.setPen(kBlue);
                p.drawText(QRect(8, 0, 8, 15), Qt::AlignCenter, QStringLiteral("?"));
            } else {
                p.setBrush(QColor(0xFF, 0xFF, 0xC0));
                p.drawEllipse(1, 1, 13, 11);
                p.drawText(QRect(1, 0, 14, 13), Qt::AlignCenter, QStringLiteral("?"));
            }
            break;
        }
        default:
            return {};
    }
    return image;
}

QIcon ProgramIcon(int resourceId) {
    if (resourceId != 2 && resourceId != 3) return {};
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap image(size, size);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        p.scale(s, s);
        // A serial connector: the D-shaped shell with two rows of pins.
        QPainterPath shell;
        shell.moveTo(3, 9);
        shell.lineTo(29, 9);
        shell.lineTo(26, 23);
        shell.lineTo(6, 23);
        shell.closeSubpath();
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(resourceId == 2 ? QColor(0x30, 0x60, 0xC0) : QColor(0x30, 0x90, 0x50));
        p.drawPath(shell);
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(7.5 + 4.25 * i, 13.5), 1.5, 1.5);
        for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(9.6 + 4.25 * i, 18.5), 1.5, 1.5);
        p.end();
        icon.addPixmap(image);
    }
    return icon;
}

}  // namespace tolvan::app
