#include "setup/dialog_units.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>

namespace kerdal {
namespace {

struct BaseUnits {
    int x;
    int y;
};

BaseUnits BaseUnitsOf(const QWidget* reference)
{
    const QFontMetrics fm(reference->font());
    // The average width over the alphabet, as dialog managers have always measured it.
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = (fm.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    return {width > 0 ? width : 1, fm.height() > 0 ? fm.height() : 1};
}

int Scale(int units, int base, int divisor)
{
    return (units * base + divisor / 2) / divisor;
}

}  // namespace

QRect DialogUnitsToPixels(const QWidget* reference, int x, int y, int w, int h)
{
    const BaseUnits b = BaseUnitsOf(reference);
    return QRect(Scale(x, b.x, 4), Scale(y, b.y, 8), Scale(w, b.x, 4), Scale(h, b.y, 8));
}

QSize DialogUnitsSize(const QWidget* reference, int w, int h)
{
    return DialogUnitsToPixels(reference, 0, 0, w, h).size();
}

void PlaceControl(QWidget* control, int x, int y, int w, int h)
{
    const QWidget* reference = control->parentWidget() ? control->parentWidget() : control;
    QRect r = DialogUnitsToPixels(reference, x, y, w, h);
    if (qobject_cast<QComboBox*>(control))
        r.setHeight(control->sizeHint().height());
    control->setGeometry(r);
}

}  // namespace kerdal
