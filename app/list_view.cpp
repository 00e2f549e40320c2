#include "app/list_view.h"

#include "app/mdi_child_frame.h"

#include <QAbstractItemDelegate>
#include <QEvent>
#include <QPainter>
#include <QStyleOptionViewItem>

#include <algorithm>

namespace tolvan::app {

// Hands the list's drawing and measuring to the view's owner-draw operations.
class CListView::Delegate : public QAbstractItemDelegate {
public:
    explicit Delegate(CListView* view) : QAbstractItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!view_->GetDocument()) return;
        DrawItemRecord record;
        record.painter = painter;
        record.itemID = index.isValid() ? index.row() : -1;
        // The list repaints a row whole, also when only its selection changed.
        record.itemAction = ODA_DRAWENTIRE;
        record.itemState = (option.state & QStyle::State_Selected) ? unsigned{ODS_SELECTED} : 0u;
        record.rcItem = option.rect;
        painter->save();
        view_->DrawItem(record);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
        MeasureItemRecord record;
        record.itemID = index.row();
        record.itemWidth = view_->viewport()->width();
        record.itemHeight = view_->fontMetrics().height();
        if (view_->GetDocument()) view_->MeasureItem(record);
        return {std::max(record.itemWidth, 1), std::max(record.itemHeight, 1)};
    }

private:
    CListView* view_;
};

CListView::CListView(QWidget* parent) : QListWidget(parent) {
    // A bordered list with both scroll bars as needed, extended selection, rows of their
    // own heights laid out again when the width changes (a row is as wide as the list).
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(false);
    setResizeMode(QListView::Adjust);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    setItemDelegate(new Delegate(this));
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                if (!GetDocument()) return;
                for (int row = first; row <= last; ++row) DeleteItem(DeleteItemRecord{row});
            });
}

CListView::~CListView() = default;

int CListView::TabStopPixels() const {
    return tabStopWidth_ * std::max(fontMetrics().averageCharWidth(), 1) / 4;
}

int CListView::OnTabBarColumns(int count, std::span<const int> edges) {
    const auto n =
        static_cast<std::size_t>(std::clamp<int>(count, 0, static_cast<int>(edges.size())));
    edges_.assign(edges.begin(), edges.begin() + static_cast<std::ptrdiff_t>(n));
    return 0;
}

void CListView::onTabBarColumns(int count, const QList<int>& edges) {
    OnTabBarColumns(
        count, std::span<const int>(edges.constData(), static_cast<std::size_t>(edges.size())));
}

std::vector<CListView::Piece> CListView::CutRow(const QString& text, const QRect& itemRect) const {
    QRect r = itemRect.adjusted(1, 1, -1, -1);
    r.setLeft(r.left() + 2);
    const int rowRight = r.right() + 1;  // exclusive
    const int origin = itemRect.left();  // edges count from the row's left, so they scroll with it
    const int stop = TabStopPixels();

    std::vector<Piece> pieces;
    int left = r.left();
    qsizetype pos = 0;
    for (int i = 0;; ++i) {
        const qsizetype tab = text.indexOf(QLatin1Char('\t'), pos);
        // The last column takes the rest of the row, also when a row holds more tabs than
        // there are columns.
        const bool lastColumn = !edges_.empty() && i >= ColumnCount();
        if (tab < 0 || lastColumn) {
            QString rest = text.mid(pos);
            rest.replace(QLatin1Char('\t'), QLatin1Char(' '));
            pieces.push_back({rest, left, rowRight});
            break;
        }
        const int edge = edges_.empty() ? (i + 1) * stop : edges_[static_cast<std::size_t>(i)];
        const int right = origin + edge - 2;
        pieces.push_back({text.mid(pos, tab - pos), left, right});
        left = right + 4;
        pos = tab + 1;
    }
    return pieces;
}

void CListView::DrawItem(DrawItemRecord& record) {
    QString text;
    QColor textColour(Qt::black);
    QColor background(Qt::white);
    if (record.itemID != -1) GetItemText(record.itemID, text, textColour, background);
    QPainter& p = *record.painter;
    const QRect& rect = record.rcItem;

    if (record.itemAction & ODA_DRAWENTIRE) {
        p.fillRect(rect, background);
        p.setPen(textColour);
        p.setFont(font());
        for (const Piece& piece : CutRow(text, rect)) {
            if (piece.right <= piece.left || piece.text.isEmpty()) continue;
            const QRect cell(piece.left, rect.top() + 1, piece.right - piece.left,
                             rect.height() - 2);
            p.save();
            p.setClipRect(cell);
            p.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, piece.text);
            p.restore();
        }
    }
    const bool selected = record.itemState & ODS_SELECTED;
    const bool frameChange = record.itemAction & (ODA_DRAWENTIRE | ODA_SELECT);
    if (frameChange && (selected || (record.itemAction & ODA_SELECT))) {
        p.setPen(selected ? textColour : background);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect.adjusted(0, 0, -1, -1));
    }
}

void CListView::MeasureItem(MeasureItemRecord&) {}
int CListView::CompareItem(const CompareItemRecord&) {
    return 0;
}
void CListView::DeleteItem(const DeleteItemRecord&) {}
void CListView::GetItemText(int, QString&, QColor&, QColor&) {}

void CListView::OnUpdate(tfw::CView*, long) {
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void CListView::OnDocumentClosing() {
    DestroyParentFrame(this);
}

void CListView::changeEvent(QEvent* event) {
    QListWidget::changeEvent(event);
    // Rows are measured in the font: a new font lays them out again.
    if (event->type() == QEvent::FontChange) scheduleDelayedItemsLayout();
}

}  // namespace tolvan::app
