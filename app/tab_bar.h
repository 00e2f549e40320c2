// CTabBar: a one-line bar of column titles above a list view. The user drags the column
// borders; when the button is released the bar tells its view the new right edges of the
// columns (columnsChanged, the bar's WM_TABBAR_COLUMNS), and the view lays its rows out in them.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include <span>
#include <vector>

namespace tolvan::app {

// Number of the bar's notification in the original message numbering (user message + 10).
inline constexpr int WM_TABBAR_COLUMNS = 1034;

class CTabBar : public QWidget {
    Q_OBJECT
public:
    explicit CTabBar(QWidget* parent = nullptr);

    // Drops all cells and makes n + 1 empty ones: n sized columns and the filler cell that
    // reaches to the bar's right end.
    void SetColumnCount(int n);
    // SetColumnCount(edges.size()), then the right edges of the columns, in bar pixels.
    void SetColumns(std::span<const int> edges);
    int ColumnCount() const { return static_cast<int>(cells_.size()) - 1; }

    // Edges exist for the sized columns 0..n-1; other indexes are ignored (Get gives 0).
    void SetColumnEdge(int i, int x);
    int GetColumnEdge(int i) const;
    QList<int> ColumnEdges() const;
    // Titles exist for cells 0..n (n: the filler cell).
    void SetColumnTitle(int i, const QString& text);
    void SetColumnTitle(int i, unsigned stringId);
    QString ColumnTitle(int i) const;

    // Remembers the view and sends it the current edges at once. When the view has a slot
    // onTabBarColumns(int,QList<int>), columnsChanged is connected to it.
    void AttachView(QWidget* view);
    QWidget* View() const { return view_; }

    // Index of the column whose border lies within one pixel of x (the lowest such column),
    // or -1. The filler cell has no border.
    int HitTestBorder(int x) const;

    bool IsDragging() const { return dragging_; }
    int DragColumn() const { return dragColumn_; }

    // The bar's height: one line of the font plus its borders.
    int BarHeight() const { return height_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The column layout: count n and the n right edges. Sent when a view is attached and
    // when a drag ends with the left button; never during a drag or after a cancelled one.
    void columnsChanged(int count, const QList<int>& edges);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Cell {
        int edge = 0;
        QString title;
    };
    void ComputeHeight();
    QRect InnerRect() const;
    void MoveEdge(int column, int newEdge);
    void EndDrag();
    void SendColumns();

    std::vector<Cell> cells_{Cell{}};
    QWidget* view_ = nullptr;
    int height_ = 0;
    int dragColumn_ = -1;
    int dragStart_ = 0;
    bool dragging_ = false;
};

}  // namespace tolvan::app
