#include "app/frame_main.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/dlg_about.h"
#include "app/menu_table.h"
#include "app/mdi_child_frame.h"
#include "app/toolbar_icons.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QWhatsThis>

namespace tolvan::app {

namespace {

constexpr const char* kWindowListItem = "tolvanWindowListItem";

constexpr int kToolbarCommands[] = {
    cmd::FileNew,   cmd::FileOpen, cmd::FileSave,    0,
    cmd::EditCut,   cmd::EditCopy, cmd::EditPaste,   0,
    cmd::FilePrint, cmd::AppAbout, cmd::ContextHelp,
};

const char* kHelpText =
    "Each channel window shows one buffer of its channel: on the left the ring of bytes "
    "(View > Buffer's Contents), unread bytes in blue; on the right its size, used and free "
    "space and status. Input and Output choose the receive or transmit buffer.\n\n"
    "Channels created by client programs have no window: View > Channels... shows them.";

bool IsLockKey(int key) {
    return key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock;
}

}  // namespace

CFrameMain::CFrameMain(QWidget* parent)
    : QMainWindow(parent), mdi_(new QMdiArea(this)), actions_(this) {
    setWindowTitle(AppText(str::MainTitle));
    setWindowIcon(ProgramIcon(2));
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    lockReader_ = [](LockKey key) { return ReadKeyLock(key); };

    // Every command of every menu bar, the toolbar and the accelerators, made up front so that
    // accelerators work before any menu was opened.
    for (int id : {cmd::EditUndo, cmd::NextPane, cmd::PrevPane, cmd::ContextHelp, cmd::Help,
                   cmd::DefaultHelp})
        actions_.Action(id);
    for (int i = 0; i < cmd::FileMruCount; ++i) actions_.Action(cmd::FileMru1 + i);
    CreateToolBar();
    CreateStatusBar();
    for (const MenuDef& def : MenuTable()) {
        QList<QMenu*> built = actions_.BuildMenus(def.menuId, this);
        for (QMenu* m : built) {
            connect(m, &QMenu::aboutToShow, this, &CFrameMain::UpdateCommandUI);
            if (m->title() == QLatin1String("&Window"))
                connect(m, &QMenu::aboutToShow, this, [this, m] { FillWindowMenu(m); });
        }
        menus_[def.menuId] = built;
    }
    SwitchMenuBar(menu::Main);
    SetRecentFiles({});

    connect(&actions_, &CommandActions::commandTriggered, this, [this](int id) {
        RouteCommand(id);
        RequestCommandUIUpdate();
    });
    connect(mdi_, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow*) { OnChildActivated(); });
    connect(qApp, &QApplication::focusChanged, this, [this] { RequestCommandUIUpdate(); });
    qApp->installEventFilter(this);
    UpdateCommandUI();
}

CFrameMain::~CFrameMain() {
    // The base classes tear the MDI area down after this object's own parts are gone: no
    // activation or focus signal may reach them then.
    qApp->removeEventFilter(this);
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(mdi_, nullptr, this, nullptr);
    for (QMdiSubWindow* w : mdi_->subWindowList()) disconnect(w, nullptr, this, nullptr);
}

void CFrameMain::CreateToolBar() {
    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName(QString::number(kToolbarId));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(kButtonImageWidth, kButtonImageHeight));
    for (int id : kToolbarCommands) {
        if (id == 0) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = actions_.Action(id);
        action->setIcon(QIcon(ToolbarImage(id)));
        action->setIconVisibleInMenu(false);
        toolBar_->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CFrameMain::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QString::number(kStatusBarId));
    const std::pair<LockKey, unsigned> kinds[] = {{LockKey::Caps, str::IndicatorCaps},
                                                  {LockKey::Num, str::IndicatorNum},
                                                  {LockKey::Scroll, str::IndicatorScroll}};
    for (auto [key, stringId] : kinds) {
        auto* label = new QLabel(bar);
        label->setObjectName(QString::number(stringId));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(AppText(stringId)) + 8);
        bar->addPermanentWidget(label);
        indicators_[key] = label;
    }
    // The message pane falls back to the idle text whenever nothing else is shown.
    connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(AppText(str::IdleMessage));
    });
    bar->showMessage(AppText(str::IdleMessage));
    RefreshIndicators();
}

QLabel* CFrameMain::Indicator(LockKey key) const {
    auto it = indicators_.find(key);
    return it == indicators_.end() ? nullptr : it->second;
}

void CFrameMain::SetKeyLockReader(std::function<bool(LockKey)> reader) {
    lockReader_ = std::move(reader);
    RefreshIndicators();
}

void CFrameMain::RefreshIndicators() {
    const std::pair<LockKey, unsigned> kinds[] = {{LockKey::Caps, str::IndicatorCaps},
                                                  {LockKey::Num, str::IndicatorNum},
                                                  {LockKey::Scroll, str::IndicatorScroll}};
    for (auto [key, stringId] : kinds)
        if (QLabel* label = Indicator(key))
            label->setText(lockReader_ && lockReader_(key) ? AppText(stringId) : QString());
}

bool CFrameMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // A highlighted menu item or button shows its prompt; otherwise the idle text.
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        statusBar()->showMessage(tip.isEmpty() ? AppText(str::IdleMessage) : tip);
        return true;
    }
    if (event->type() == QEvent::WindowActivate) RefreshIndicators();
    return QMainWindow::event(event);
}

bool CFrameMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease && IsLockKey(static_cast<QKeyEvent*>(event)->key()))
        RefreshIndicators();
    return QMainWindow::eventFilter(watched, event);
}

void CFrameMain::AddChildFrame(CMDIChildFrame* frame) {
    mdi_->addSubWindow(frame);
    connect(frame, &QWidget::windowTitleChanged, this, [this] { UpdateTitle(); });
    connect(frame, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { OnChildActivated(); }); });
    frame->show();
    mdi_->setActiveSubWindow(frame);
    OnChildActivated();
}

void CFrameMain::ActivateFrame(CMDIChildFrame* frame) {
    if (!frame) return;
    if (frame->isMinimized()) frame->showNormal();
    frame->show();
    mdi_->setActiveSubWindow(frame);
    frame->raise();
    OnChildActivated();
}

namespace {
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}
}  // namespace

void CFrameMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CFrameMain::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    Q_EMIT filesDropped(paths);
}

CMDIChildFrame* CFrameMain::ActiveChildFrame() const {
    return qobject_cast<CMDIChildFrame*>(mdi_->currentSubWindow());
}

void CFrameMain::OnChildActivated() {
    CMDIChildFrame* child = ActiveChildFrame();
    SwitchMenuBar(child ? child->MenuId() : menu::Main);
    UpdateTitle();
    UpdateCommandUI();
}

void CFrameMain::SwitchMenuBar(int menuId) {
    if (menuId == menuId_) return;
    auto it = menus_.find(menuId);
    if (it == menus_.end()) return;
    menuBar()->clear();
    for (QMenu* m : it->second) menuBar()->addMenu(m);
    menuId_ = menuId;
}

void CFrameMain::UpdateTitle() {
    QString title = AppText(str::MainTitle);
    if (CMDIChildFrame* child = ActiveChildFrame(); child && !child->windowTitle().isEmpty())
        title += QStringLiteral(" - ") + child->windowTitle();
    title_ = title;
    setWindowTitle(title);
}

void CFrameMain::changeEvent(QEvent* event) {
    // A maximized child appends its own title to the main window's ("... - [name]"); the
    // caption names the active document once already, so it is put back.
    if (event->type() == QEvent::WindowTitleChange && !title_.isEmpty() && windowTitle() != title_)
        setWindowTitle(title_);
    QMainWindow::changeEvent(event);
}

void CFrameMain::closeEvent(QCloseEvent* event) {
    if (closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CFrameMain::FillWindowMenu(QMenu* menu) {
    for (QAction* a : menu->actions())
        if (a->property(kWindowListItem).toBool()) {
            menu->removeAction(a);
            a->deleteLater();
        }
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    if (windows.isEmpty()) return;
    QAction* sep = menu->addSeparator();
    sep->setProperty(kWindowListItem, true);
    int n = 1;
    for (QMdiSubWindow* w : windows) {
        QAction* item = menu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(w->windowTitle()));
        item->setProperty(kWindowListItem, true);
        item->setCheckable(true);
        item->setChecked(w == mdi_->currentSubWindow());
        connect(item, &QAction::triggered, this, [this, w] { mdi_->setActiveSubWindow(w); });
    }
}

void CFrameMain::SetRecentFiles(const QStringList& paths) {
    recent_ = paths.mid(0, cmd::FileMruCount);
    for (int i = 0; i < cmd::FileMruCount; ++i) {
        QAction* action = actions_.Action(cmd::FileMru1 + i);
        if (i < recent_.size()) {
            action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(recent_[i]));
            action->setVisible(true);
        } else {
            // Without entries the first item is the greyed placeholder.
            action->setText(QStringLiteral("Recent File"));
            action->setVisible(i == 0);
        }
    }
    UpdateCommandUI();
}

bool CFrameMain::RouteUpdate(int id, CommandState& state) {
    if (CMDIChildFrame* child = ActiveChildFrame(); child && child->RouteUpdate(id, state))
        return true;
    if (UpdateCommand(id, state)) return true;
    if (appTarget_ && appTarget_->UpdateCommand(id, state)) return true;
    return UpdateFallback(id, state);
}

bool CFrameMain::RouteCommand(int id) {
    CommandState state;
    if (!RouteUpdate(id, state) || !state.enabled)
        return false;  // a stale enabled item does nothing
    if (CMDIChildFrame* child = ActiveChildFrame(); child && child->RouteExecute(id)) return true;
    if (ExecuteCommand(id)) return true;
    if (appTarget_ && appTarget_->ExecuteCommand(id)) return true;
    return ExecuteFallback(id);
}

void CFrameMain::UpdateCommandUI() {
    updatePending_ = false;
    // A command may have retitled the active document (new line settings) without a view hint.
    if (CMDIChildFrame* child = ActiveChildFrame()) child->UpdateFrameTitle();
    for (auto& [id, action] : actions_.All()) {
        CommandState state;
        bool handled = RouteUpdate(id, state);
        if (id >= cmd::FileMru1 && id < cmd::FileMru1 + cmd::FileMruCount &&
            id - cmd::FileMru1 >= recent_.size())
            handled = false;  // the placeholder, or an unused slot
        action->setEnabled(handled && state.enabled);
        action->setCheckable(state.checked.has_value());
        if (state.checked) action->setChecked(*state.checked);
    }
}

void CFrameMain::RequestCommandUIUpdate() {
    if (updatePending_) return;
    updatePending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (updatePending_) UpdateCommandUI();
    });
}

bool CFrameMain::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::WindowCascade:
        case cmd::WindowTile:
        case cmd::WindowArrange:
        case cmd::ContextHelp:
        case cmd::HelpIndex:
        case cmd::HelpUsing:
        case cmd::Help:
        case cmd::DefaultHelp:
            return true;
        case cmd::WindowNew:
            state.enabled = newWindow_ && ActiveChildFrame();
            return true;
        case cmd::ViewToolbar:
            state.checked = !toolBar_->isHidden();
            return true;
        case cmd::ViewStatusBar:
            state.checked = !statusBar()->isHidden();
            return true;
        default:
            return false;
    }
}

bool CFrameMain::ExecuteCommand(int id) {
    switch (id) {
        case cmd::WindowCascade:
            mdi_->cascadeSubWindows();
            return true;
        case cmd::WindowTile:
            mdi_->tileSubWindows();
            return true;
        case cmd::WindowArrange:
            ArrangeIcons();
            return true;
        case cmd::WindowNew:
            if (CMDIChildFrame* active = ActiveChildFrame(); active && newWindow_)
                newWindow_(*active);  // the new window adds itself
            return true;
        case cmd::ViewToolbar:
            toolBar_->setVisible(toolBar_->isHidden());
            return true;
        case cmd::ViewStatusBar:
            statusBar()->setVisible(statusBar()->isHidden());
            return true;
        case cmd::ContextHelp:
            QWhatsThis::enterWhatsThisMode();
            return true;
        case cmd::HelpIndex:
        case cmd::HelpUsing:
        case cmd::Help:
        case cmd::DefaultHelp:
            ShowHelp();
            return true;
        default:
            return false;
    }
}

bool CFrameMain::UpdateFallback(int id, CommandState&) {
    return id == cmd::AppAbout || id == cmd::AppExit;
}

bool CFrameMain::ExecuteFallback(int id) {
    if (id == cmd::AppAbout) {
        ShowAbout();
        return true;
    }
    if (id == cmd::AppExit) {
        close();
        return true;
    }
    return false;
}

void CFrameMain::ArrangeIcons() {
    int x = 0;
    const int bottom = mdi_->viewport()->height();
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
        if (!w->isMinimized()) continue;
        const QSize size = w->size();
        if (x > 0 && x + size.width() > mdi_->viewport()->width()) x = 0;
        w->move(x, bottom - size.height());
        x += size.width();
    }
}

void CFrameMain::ShowAbout() {
    CDlgAbout dialog(this);
    dialog.exec();
}

void CFrameMain::ShowHelp() {
    QMessageBox::information(this, AppText(str::AppTitle), QString::fromLatin1(kHelpText));
}

}  // namespace tolvan::app
