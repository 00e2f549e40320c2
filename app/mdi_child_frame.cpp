#include "app/mdi_child_frame.h"

#include <QCloseEvent>

namespace tolvan::app {

CMDIChildFrame::CMDIChildFrame(int menuId, QWidget* parent) : QMdiSubWindow(parent), menuId_(menuId) {
    setAttribute(Qt::WA_DeleteOnClose);
}

bool CMDIChildFrame::RouteUpdate(int id, CommandState& state) {
    if (auto* view = dynamic_cast<CommandTarget*>(ActiveView()); view && view->UpdateCommand(id, state))
        return true;
    if (document_ && document_->UpdateCommand(id, state)) return true;
    return UpdateCommand(id, state);
}

bool CMDIChildFrame::RouteExecute(int id) {
    if (auto* view = dynamic_cast<CommandTarget*>(ActiveView()); view && view->ExecuteCommand(id))
        return true;
    if (document_ && document_->ExecuteCommand(id)) return true;
    return ExecuteCommand(id);
}

bool CMDIChildFrame::UpdateCommand(int, CommandState&) { return false; }
bool CMDIChildFrame::ExecuteCommand(int) { return false; }

void CMDIChildFrame::closeEvent(QCloseEvent* event) {
    if (closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

CMDIChildFrame* ParentChildFrame(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (auto* frame = qobject_cast<CMDIChildFrame*>(w)) return frame;
    return nullptr;
}

void DestroyParentFrame(QWidget* view) {
    if (CMDIChildFrame* frame = ParentChildFrame(view)) {
        frame->hide();
        frame->deleteLater();  // safe to ask twice: both panes of a channel window ask
    }
}

}  // namespace tolvan::app
