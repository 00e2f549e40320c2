#pragma once
// Page layouts are drawn up in dialog units: x and widths in quarters of the average
// character width of the page font, y and heights in eighths of its character height.
// Converting through the font keeps a page readable whatever font the desktop uses.

#include "setup/kerdal32_export.h"
#include <QRect>
#include <QSize>

class QWidget;

namespace kerdal {

// The rectangle in pixels that (x, y, w, h) in dialog units covers in `reference`'s font.
QRect DialogUnitsToPixels(const QWidget* reference, int x, int y, int w, int h);

// The size in pixels of a w by h dialog-unit area.
QSize DialogUnitsSize(const QWidget* reference, int w, int h);

// Places `control` inside its parent at a dialog-unit position. Drop-down lists keep
// their own closed height: the template height of a drop-down list includes its open list.
KERDAL32_API void PlaceControl(QWidget* control, int x, int y, int w, int h);

// Lays out again every control that PlaceControl placed in `page` (a w by h dialog-unit
// area), widening the horizontal unit just enough that no label or button text is cut:
// a desktop font is often wider for its height than the layouts were drawn for. The
// widening stops at half as wide again.
KERDAL32_API void FitPageLayout(QWidget* page, int w, int h);

}  // namespace kerdal
