// Base of the server's child frames: an MDI sub-window that knows its menu bar, routes commands
// to its active view, its document and itself, and may refuse to close. Unless the view or
// the document's target takes them, the frame answers File > Close, and File > Save and Save
// As for the document its views show when that document has a command target here.
#pragma once

#include "app/command_target.h"

#include <QMdiSubWindow>

#include <functional>

namespace tfw {
class CDocument;
}

namespace tolvan::app {

class CMDIChildFrame : public QMdiSubWindow, public CommandTarget {
    Q_OBJECT
public:
    explicit CMDIChildFrame(int menuId, QWidget* parent = nullptr);

    // Resource id of the menu bar shown while this frame is active.
    int MenuId() const { return menuId_; }

    // The document's command target (the channel or phone list); may be none.
    void SetDocumentTarget(CommandTarget* target) { document_ = target; }
    CommandTarget* DocumentTarget() const { return document_; }

    // Asked before the frame closes; returning false keeps it open (a channel that a client
    // holds keeps its window).
    void SetCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

    // The view that gets commands first (the one that last had the focus), or null.
    virtual QWidget* ActiveView() const = 0;

    // Offers the command along view, document, frame.
    bool RouteUpdate(int id, CommandState& state);
    bool RouteExecute(int id);

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The document of the active view, or null.
    tfw::CDocument* Document() const;
    // Saves the document: to its path, or - when it has none or `askName` - to the path the
    // user chooses (Save As). The caption follows the new title. False when nothing was saved.
    bool SaveDocument(bool askName);
    // Sets the caption to the document's title (a channel retitles itself when it connects or
    // closes its connection).
    void UpdateFrameTitle();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int menuId_;
    CommandTarget* document_ = nullptr;
    std::function<bool()> closeGuard_;
};

// The child frame that holds widget, or null.
CMDIChildFrame* ParentChildFrame(QWidget* widget);
// The document of the view changed: the caption of its frame follows the document's title.
void UpdateParentFrameTitle(QWidget* view);
// The document of a view is closing: its frame goes too, whatever its close guard says.
void DestroyParentFrame(QWidget* view);

}  // namespace tolvan::app
