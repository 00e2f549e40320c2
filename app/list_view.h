// CListView: a view that is itself an owner-drawn list. Its items carry no text and no data;
// they only stand for rows, and a derived view supplies each row's text by index
// (GetItemText) and its height (MeasureItem). A row's text is tab-separated and is drawn in
// the columns whose right edges the column bar above the view sends (onTabBarColumns).
//
// Rows have variable heights and are chosen with the usual extended-selection gestures. A
// selected row is marked by a 1-pixel frame in the row's text colour, not by inverted
// colours. The view answers the owner-draw requests only while it has a document.
#pragma once

#include "framework/view.h"

#include <QColor>
#include <QList>
#include <QListWidget>
#include <QRect>
#include <QString>

#include <span>
#include <vector>

class QPainter;

namespace tolvan::app {

class CListView : public QListWidget, public tfw::CView {
    Q_OBJECT
public:
    // Draw actions and item states of a draw request, with their bit values.
    enum : unsigned { ODA_DRAWENTIRE = 1, ODA_SELECT = 2, ODA_FOCUS = 4 };
    enum : unsigned { ODS_SELECTED = 1 };

    struct DrawItemRecord {
        QPainter* painter = nullptr;
        int itemID = -1;          // row index, -1 for none
        unsigned itemAction = 0;  // ODA_* bits
        unsigned itemState = 0;   // ODS_* bits
        QRect rcItem;             // the row in viewport pixels
    };
    struct MeasureItemRecord {
        int itemID = -1;
        int itemWidth = 0;   // preset: the client width
        int itemHeight = 0;  // preset: one line of the font
    };
    struct CompareItemRecord {
        int itemID1 = -1;
        int itemID2 = -1;
    };
    struct DeleteItemRecord {
        int itemID = -1;
    };

    // One piece of a row's text and the horizontal span it is drawn in (right exclusive).
    struct Piece {
        QString text;
        int left = 0;
        int right = 0;
    };

    // The list's one tab stop, in dialog units.
    static constexpr int kDefaultTabStopWidth = 32;

    explicit CListView(QWidget* parent = nullptr);
    ~CListView() override;

    int TabStopWidth() const { return tabStopWidth_; }
    // The tab stop in pixels of the current font (a dialog unit is a quarter of the average
    // character width).
    int TabStopPixels() const;
    int ColumnCount() const { return static_cast<int>(edges_.size()); }
    const std::vector<int>& ColumnEdges() const { return edges_; }

    // The column bar's notification (its WM_TABBAR_COLUMNS): keeps a copy of the edges.
    // Does not repaint: the bar invalidates the view after it sent them. Result 0.
    int OnTabBarColumns(int count, std::span<const int> edges);

    // Owner-draw operations. DrawItem draws the row's columns; the others do nothing here.
    virtual void DrawItem(DrawItemRecord& record);
    virtual void MeasureItem(MeasureItemRecord& record);
    virtual int CompareItem(const CompareItemRecord& record);
    virtual void DeleteItem(const DeleteItemRecord& record);
    // The text of row index with its colours; the base leaves them as they are.
    virtual void GetItemText(int index, QString& text, QColor& textColour, QColor& background);

    // Where the pieces of text go in a row drawn in itemRect: the rectangle less 1 pixel on
    // each side and 2 more on the left; each piece before a tab ends 2 pixels left of its
    // column's edge, the next starts 4 pixels right of that end; the piece after the last
    // column's tab (or after the last tab) reaches to the row's right end. Without edges the
    // columns are the list's tab stops.
    std::vector<Piece> CutRow(const QString& text, const QRect& itemRect) const;

    // The document changed: the rows are drawn again (they read the document when drawn).
    void OnUpdate(tfw::CView* sender, long hint) override;
    // The document is going away: so does the window showing it.
    void OnDocumentClosing() override;

public Q_SLOTS:
    void onTabBarColumns(int count, const QList<int>& edges);

protected:
    void changeEvent(QEvent* event) override;

private:
    class Delegate;
    friend class Delegate;

    int tabStopWidth_ = kDefaultTabStopWidth;
    std::vector<int> edges_;
};

}  // namespace tolvan::app
