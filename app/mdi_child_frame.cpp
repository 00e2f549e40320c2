#include "app/mdi_child_frame.h"

#include "app/command_ids.h"
#include "app/save_path_dialog.h"
#include "framework/document.h"
#include "framework/view.h"

#include <QCloseEvent>

namespace tolvan::app {

CMDIChildFrame::CMDIChildFrame(int menuId, QWidget* parent)
    : QMdiSubWindow(parent), menuId_(menuId) {
    setAttribute(Qt::WA_DeleteOnClose);
}

bool CMDIChildFrame::RouteUpdate(int id, CommandState& state) {
    if (auto* view = dynamic_cast<CommandTarget*>(ActiveView());
        view && view->UpdateCommand(id, state))
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

bool CMDIChildFrame::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::FileClose:
            state.enabled = true;
            return true;
        case cmd::FileSave:
        case cmd::FileSaveAs:
            // Offered for a document that has its commands here (a channel, a phone list).
            if (!document_) return false;
            state.enabled = Document() != nullptr;
            return true;
        default:
            return false;
    }
}

bool CMDIChildFrame::ExecuteCommand(int id) {
    switch (id) {
        case cmd::FileClose:
            close();
            return true;  // the close guard may keep the window
        case cmd::FileSave:
        case cmd::FileSaveAs:
            if (!document_) return false;
            SaveDocument(id == cmd::FileSaveAs);
            return true;
        default:
            return false;
    }
}

tfw::CDocument* CMDIChildFrame::Document() const {
    auto* view = dynamic_cast<tfw::CView*>(ActiveView());
    return view ? view->GetDocument() : nullptr;
}

bool CMDIChildFrame::SaveDocument(bool askName) {
    tfw::CDocument* document = Document();
    if (!document) return false;
    std::string path = document->GetPathName();
    if (askName || path.empty()) {
        std::optional<std::string> chosen = AskSavePath(this, *document);
        if (!chosen) return false;
        path = *std::move(chosen);
    }
    // A failure is reported by the framework; the document keeps its old name then.
    const bool saved = document->DoSave(path);
    UpdateFrameTitle();
    return saved;
}

void CMDIChildFrame::UpdateFrameTitle() {
    if (tfw::CDocument* document = Document()) {
        // A document without a title yet leaves the caption its maker gave.
        const QString title = QString::fromLocal8Bit(document->GetTitle().c_str());
        if (!title.isEmpty() && windowTitle() != title) setWindowTitle(title);
    }
}

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

void UpdateParentFrameTitle(QWidget* view) {
    if (CMDIChildFrame* frame = ParentChildFrame(view)) frame->UpdateFrameTitle();
}

void DestroyParentFrame(QWidget* view) {
    if (CMDIChildFrame* frame = ParentChildFrame(view)) {
        frame->hide();
        frame->deleteLater();  // safe to ask twice: both panes of a channel window ask
    }
}

}  // namespace tolvan::app
