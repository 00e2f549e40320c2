// CFrameMain: the server's main window ("Brevond Communication server"): the MDI area that
// holds the channel and phone-list windows, the menu bar of the active window's document type,
// the toolbar, and the status bar with the command prompts and the CAP/NUM/SCRL indicators.
// Commands run along the route: active child window (view, document, frame), this frame, the
// application.
#pragma once

#include "app/command_actions.h"
#include "app/command_target.h"
#include "app/key_lock_state.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <map>

class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;

namespace tolvan::app {

class CMDIChildFrame;

class CFrameMain : public QMainWindow, public CommandTarget {
    Q_OBJECT
public:
    explicit CFrameMain(QWidget* parent = nullptr);
    ~CFrameMain() override;

    QMdiArea* MdiArea() const { return mdi_; }
    QToolBar* ToolBar() const { return toolBar_; }
    CommandActions& Actions() { return actions_; }
    QLabel* Indicator(LockKey key) const;

    // Adds a child window to the MDI area and shows it.
    void AddChildFrame(CMDIChildFrame* frame);
    // Brings a child window to the front, restoring it when minimised.
    void ActivateFrame(CMDIChildFrame* frame);
    // The active child window (also while the main window itself is inactive), or null.
    CMDIChildFrame* ActiveChildFrame() const;
    // Resource id of the menu bar shown: the active child's, or 2 without one.
    int CurrentMenuId() const { return menuId_; }

    // The application's command target, last on the route.
    void SetApplicationTarget(CommandTarget* target) { appTarget_ = target; }
    // Makes another window for the document of the active child (Window > New Window) and
    // adds it to this frame; returns it, or null when none was made.
    using NewWindowFactory = std::function<CMDIChildFrame*(CMDIChildFrame& active)>;
    void SetNewWindowFactory(NewWindowFactory factory) { newWindow_ = std::move(factory); }
    // Asked before the main window closes (File > Exit, the window's close button); false
    // keeps the program running as it was.
    void SetCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }
    // The recently used files shown in the File menus (at most four, ids 57616..57619).
    void SetRecentFiles(const QStringList& paths);
    QStringList RecentFiles() const { return recent_; }

    // Lets files be dropped on the window; each drop is reported by filesDropped.
    void DragAcceptFiles(bool accept) { setAcceptDrops(accept); }

    // Where the lock-key states come from (tests replace the keyboard LEDs).
    void SetKeyLockReader(std::function<bool(LockKey)> reader);
    void RefreshIndicators();

    // Runs command id along the route; false when nobody handled it.
    bool RouteCommand(int id);
    // Asks the route about id; false when nobody handles it.
    bool RouteUpdate(int id, CommandState& state);
    // Enables, disables and checks every action as the route says.
    void UpdateCommandUI();
    // The same, once control returns to the event loop (coalesced).
    void RequestCommandUIUpdate();

    // Lines minimised child windows up along the bottom of the MDI area.
    void ArrangeIcons();
    void ShowAbout();

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

Q_SIGNALS:
    // Local files were dropped on the window, in the order given.
    void filesDropped(const QStringList& paths);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateToolBar();
    void CreateStatusBar();
    void SwitchMenuBar(int menuId);
    void OnChildActivated();
    void UpdateTitle();
    void FillWindowMenu(QMenu* menu);
    void ShowHelp();
    // Commands the main frame runs only when the application did not take them.
    bool UpdateFallback(int id, CommandState& state);
    bool ExecuteFallback(int id);

    QMdiArea* mdi_;
    QToolBar* toolBar_ = nullptr;
    CommandActions actions_;
    std::map<LockKey, QLabel*> indicators_;
    std::function<bool(LockKey)> lockReader_;
    std::map<int, QList<QMenu*>> menus_;
    int menuId_ = 0;
    CommandTarget* appTarget_ = nullptr;
    NewWindowFactory newWindow_;
    std::function<bool()> closeGuard_;
    QString title_;  // the caption this frame wants (the MDI area adds to it for a maximized child)
    QStringList recent_;
    bool updatePending_ = false;
};

}  // namespace tolvan::app
