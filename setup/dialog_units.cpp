#include "setup/dialog_units.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QFontMetrics>
#include <QVariant>
#include <QWidget>

#include <algorithm>

namespace kerdal {
namespace {

struct BaseUnits {
    int x;
    int y;
};

BaseUnits BaseUnitsOf(const QWidget* reference) {
    const QFontMetrics fm(reference->font());
    // The average width over the alphabet, as dialog managers have always measured it.
    static const QString kAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = (fm.horizontalAdvance(kAlphabet) / 26 + 1) / 2;
    return {width > 0 ? width : 1, fm.height() > 0 ? fm.height() : 1};
}

int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

// Where PlaceControl put a control, in dialog units, kept for FitPageLayout.
constexpr char kDluProperty[] = "kerdalDialogUnits";

void SetPixelRect(QWidget* control, QRect r) {
    if (qobject_cast<QComboBox*>(control)) r.setHeight(control->sizeHint().height());
    control->setGeometry(r);
}

}  // namespace

QRect DialogUnitsToPixels(const QWidget* reference, int x, int y, int w, int h) {
    const BaseUnits b = BaseUnitsOf(reference);
    return QRect(Scale(x, b.x, 4), Scale(y, b.y, 8), Scale(w, b.x, 4), Scale(h, b.y, 8));
}

QSize DialogUnitsSize(const QWidget* reference, int w, int h) {
    return DialogUnitsToPixels(reference, 0, 0, w, h).size();
}

void PlaceControl(QWidget* control, int x, int y, int w, int h) {
    const QWidget* reference = control->parentWidget() ? control->parentWidget() : control;
    control->setProperty(kDluProperty, QRect(x, y, w, h));
    SetPixelRect(control, DialogUnitsToPixels(reference, x, y, w, h));
}

void FitPageLayout(QWidget* page, int w, int h) {
    const QList<QWidget*> controls = page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    double widen = 1.0;
    for (QWidget* control : controls) {
        const QRect dlu = control->property(kDluProperty).toRect();
        if (dlu.isNull() ||
            !(qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control)))
            continue;
        const int given =
            DialogUnitsToPixels(page, dlu.x(), dlu.y(), dlu.width(), dlu.height()).width();
        if (given > 0)
            widen = std::max(widen, static_cast<double>(control->sizeHint().width()) / given);
    }
    widen = std::min(widen, 1.5);
    const auto stretch = [&](const QRect& r) {
        return QRect(static_cast<int>(r.x() * widen + 0.5), r.y(),
                     static_cast<int>(r.width() * widen + 0.5), r.height());
    };
    for (QWidget* control : controls) {
        const QRect dlu = control->property(kDluProperty).toRect();
        if (!dlu.isNull())
            SetPixelRect(control, stretch(DialogUnitsToPixels(page, dlu.x(), dlu.y(), dlu.width(),
                                                              dlu.height())));
    }
    page->setMinimumSize(stretch(QRect(QPoint(0, 0), DialogUnitsSize(page, w, h))).size());
}

}  // namespace kerdal
