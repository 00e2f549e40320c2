#include "app/tab_bar.h"

#include "app/app_strings.h"

#include <QAbstractScrollArea>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

namespace tolvan::app {

namespace {
// Inner borders of the bar: one pixel on the left, one above and one below the cells, and the
// bar's own bottom border line.
constexpr int kLeftBorder = 1;
constexpr int kTopBorder = 1;
constexpr int kBottomBorder = 1;
constexpr int kBottomLine = 1;
constexpr int kCellFrame = 2;  // the white and grey outline, one pixel above and below the text
}  // namespace

CTabBar::CTabBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);  // the splitter cursor follows the pointer without a button held
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is copied from the off-screen image
    ComputeHeight();
}

void CTabBar::ComputeHeight() {
    const QFontMetrics fm(font());
    height_ = fm.ascent() + fm.descent() + kCellFrame + kTopBorder + kBottomBorder + kBottomLine;
    setFixedHeight(height_);
    updateGeometry();
}

QSize CTabBar::sizeHint() const {
    // The bar asks for the whole width of its frame.
    return {QWIDGETSIZE_MAX, height_};
}

QSize CTabBar::minimumSizeHint() const {
    return {0, height_};
}

void CTabBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) ComputeHeight();
    QWidget::changeEvent(event);
}

void CTabBar::SetColumnCount(int n) {
    cells_.assign(static_cast<std::size_t>(std::max(n, 0)) + 1, Cell{});
    dragging_ = false;
    dragColumn_ = -1;
    dragStart_ = 0;
    update();
}

void CTabBar::SetColumns(std::span<const int> edges) {
    SetColumnCount(static_cast<int>(edges.size()));
    for (std::size_t i = 0; i < edges.size(); ++i) cells_[i].edge = edges[i];
}

void CTabBar::SetColumnEdge(int i, int x) {
    if (i < 0 || i >= ColumnCount()) return;
    cells_[static_cast<std::size_t>(i)].edge = x;
    update();
}

int CTabBar::GetColumnEdge(int i) const {
    if (i < 0 || i >= ColumnCount()) return 0;
    return cells_[static_cast<std::size_t>(i)].edge;
}

QList<int> CTabBar::ColumnEdges() const {
    QList<int> edges;
    for (int i = 0; i < ColumnCount(); ++i) edges.append(GetColumnEdge(i));
    return edges;
}

void CTabBar::SetColumnTitle(int i, const QString& text) {
    if (i < 0 || i > ColumnCount()) return;
    cells_[static_cast<std::size_t>(i)].title = text;
    update();
}

void CTabBar::SetColumnTitle(int i, unsigned stringId) {
    SetColumnTitle(i, AppText(stringId));
}

QString CTabBar::ColumnTitle(int i) const {
    if (i < 0 || i > ColumnCount()) return {};
    return cells_[static_cast<std::size_t>(i)].title;
}

void CTabBar::AttachView(QWidget* view) {
    if (view_) disconnect(this, nullptr, view_, nullptr);
    view_ = view;
    if (view_ && view_->metaObject()->indexOfSlot("onTabBarColumns(int,QList<int>)") >= 0)
        connect(this, SIGNAL(columnsChanged(int, QList<int>)), view_,
                SLOT(onTabBarColumns(int, QList<int>)));
    SendColumns();
}

void CTabBar::SendColumns() {
    Q_EMIT columnsChanged(ColumnCount(), ColumnEdges());
}

int CTabBar::HitTestBorder(int x) const {
    for (int i = 0; i < ColumnCount(); ++i) {
        const int edge = GetColumnEdge(i);
        if (x >= edge - 1 && x <= edge + 1) return i;
    }
    return -1;
}

QRect CTabBar::InnerRect() const {
    return rect().adjusted(kLeftBorder, kTopBorder, 0, -(kBottomBorder + kBottomLine));
}

void CTabBar::paintEvent(QPaintEvent*) {
    // Drawn off-screen and copied in one block, so that dragging a border does not flicker.
    QPixmap image(size());
    const QColor face(0xC0, 0xC0, 0xC0);
    image.fill(face);
    {
        QPainter p(&image);
        // The bar's bottom border.
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawLine(0, height() - 1, width() - 1, height() - 1);

        const QRect inner = InnerRect();
        const int top = inner.top();
        const int bottom = inner.bottom();
        const int innerRight = inner.right();
        const QPen white(Qt::white);
        const QPen grey(QColor(0x80, 0x80, 0x80));
        const QPen black(Qt::black);
        p.setFont(font());

        int left = inner.left();
        const int n = ColumnCount();
        for (int i = 0; i <= n; ++i) {
            int right;
            if (i < n) {
                right = GetColumnEdge(i) - 1;
            } else {
                right = innerRight;
                if (right < left) break;
            }
            p.setPen(white);
            p.drawLine(left, bottom, left, top);
            p.drawLine(left, top, right, top);
            p.setPen(grey);
            p.drawLine(right, top, right, bottom);
            p.drawLine(right, bottom, left, bottom);
            if (i < n) {
                p.setPen(black);
                p.drawLine(right + 1, top, right + 1, bottom);
            }
            const QRect text(QPoint(left + 1, top + 1), QPoint(right - 1, bottom - 1));
            if (text.isValid()) {
                p.setPen(Qt::black);
                p.drawText(text, Qt::AlignCenter | Qt::TextWordWrap,
                           cells_[static_cast<std::size_t>(i)].title);
            }
            left = right + 2;
        }
    }
    QPainter(this).drawPixmap(0, 0, image);
}

void CTabBar::MoveEdge(int column, int newEdge) {
    const int delta = newEdge - GetColumnEdge(column);
    for (int j = column; j < ColumnCount(); ++j) cells_[static_cast<std::size_t>(j)].edge += delta;
}

void CTabBar::mousePressEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (event->button() == Qt::LeftButton) {
        const int column = HitTestBorder(x);
        if (column < 0) {
            QWidget::mousePressEvent(event);
            return;
        }
        // The widget keeps the mouse while the button is held (Qt's implicit grab).
        dragColumn_ = column;
        dragStart_ = GetColumnEdge(column);
        dragging_ = true;
        event->accept();
        return;
    }
    if (event->button() == Qt::RightButton && dragging_) {
        // Cancel: every border goes back where it was, and the view hears nothing.
        MoveEdge(dragColumn_, dragStart_);
        EndDrag();
        update();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CTabBar::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (dragging_) {
        const int limit = dragColumn_ > 0 ? GetColumnEdge(dragColumn_ - 1) : 0;
        // A column never gets narrower than 2 pixels, so every edge stays right of the one
        // before it.
        const int newEdge = x >= limit + 2 ? x : limit + 2;
        MoveEdge(dragColumn_, newEdge);
        update(QRect(limit, 0, std::max(width() - limit, 0), height()));
        event->accept();
        return;
    }
    if (HitTestBorder(x) >= 0)
        setCursor(Qt::SplitHCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void CTabBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && dragging_) {
        EndDrag();
        SendColumns();
        if (view_) {
            // A scrolling view draws in its viewport, which must be repainted too.
            if (auto* area = qobject_cast<QAbstractScrollArea*>(view_)) area->viewport()->update();
            view_->update();
        }
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void CTabBar::EndDrag() {
    dragging_ = false;
    dragColumn_ = -1;
    dragStart_ = 0;
}

}  // namespace tolvan::app
