// CViewPhoneList: the list view of a phone list window. One row per dial entry, drawn from
// the document by index in the seven columns of the bar above it (comment, dial string,
// baud rate, parity, word length, stop bits, duplex). Entries are added, inserted, deleted
// and edited with the Edit menu or the popup of the right mouse button; an entry is edited
// in the "Dial" sheet of the library's dial-entry page and port-settings page.
#pragma once

#include "app/command_target.h"
#include "app/list_view.h"

#include <QPoint>

#include <vector>

class AndCommParam;
class CDocDialList;
class QMenu;
struct tagDialEntry;

namespace tolvan::app {

// The library's current line parameters back to its defaults (9600, N, 8, 1): baud rate,
// parity, word length and stop bits, in that order.
void ResetCommParams(AndCommParam& params);

class CViewPhoneList : public CListView, public CommandTarget {
    Q_OBJECT
public:
    explicit CViewPhoneList(QWidget* parent = nullptr);
    ~CViewPhoneList() override;

    // The phone list shown, or null before the view is attached to one.
    CDocDialList* Document() const;

    // One empty item per entry of the phone list.
    void OnInitialUpdate() override;

    // Row height: one line of the entry's text plus 2; width: the client width.
    void MeasureItem(MeasureItemRecord& record) override;
    // The entry's fields joined by tabs, black on white.
    void GetItemText(int index, QString& text, QColor& textColour, QColor& background) override;

    // Add is always enabled; Insert, Delete and Properties while a row is selected.
    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The commands. Insert, Delete and Properties without a selected row say "Items were not
    // selected" and do nothing else; Delete asks first; Cancel or No change nothing.
    void OnAdd();
    void OnInsert();
    void OnDelete();
    void OnProperties();

    // Selected rows, lowest first.
    std::vector<int> SelectedRows() const;
    // The row under a point of the viewport, or -1.
    int RowAt(QPoint pos) const;
    // The right-button popup at a point of the viewport: "&Add...", and on a row (which then
    // becomes the only selected one) also "&Insert...", "&Delete..." and "&Properties...".
    // Shown modally; the chosen command runs in this view.
    void ShowPopup(QPoint pos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Runs the "Dial" sheet on entry (the port page starting at the library's current
    // choices); true when accepted and `doc` is still this view's list (the sheet runs an
    // event loop, so the list may have been closed meanwhile); entry then holds what the
    // pages say. RunNewEntrySheet starts the port page at the library's defaults.
    bool RunEntrySheet(tagDialEntry& entry, const CDocDialList* doc);
    bool RunNewEntrySheet(tagDialEntry& entry, const CDocDialList* doc);
    // The selected rows; with none the user is told so, and the result is empty.
    std::vector<int> RowsToWorkOn();
};

}  // namespace tolvan::app
