#include "app/mdi_frame_splitter.h"

#include "app/toolbar_icons.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"

#include <QApplication>
#include <QEvent>
#include <QRadioButton>
#include <QSplitter>

#include <algorithm>

namespace tolvan::app {

CMDIFrameSplitter::CMDIFrameSplitter(ChannelBufferSource* source, int menuId, QWidget* parent)
    : CMDIChildFrame(menuId, parent) {
    // Plain channel windows have an icon of their own; the other kinds show the program's.
    setWindowIcon(ProgramIcon(menuId == menu::Channel ? 3 : 2));
    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setObjectName(QString::number(kFirstPaneId));
    splitter_->setChildrenCollapsible(false);
    comm_ = new CViewComm(source, splitter_);
    info_ = new CViewBufferInfo(source, splitter_);
    splitter_->addWidget(comm_);
    splitter_->addWidget(info_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 1);
    setWidget(splitter_);
    lastActive_ = comm_;
    // The pane sizes are set once the splitter has its first real width.
    splitter_->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now) return;
        if (now == info_ || info_->isAncestorOf(now))
            lastActive_ = info_;
        else if (now == comm_ || comm_->isAncestorOf(now))
            lastActive_ = comm_;
    });
}

CMDIFrameSplitter::~CMDIFrameSplitter() {
    // Focus moves while the panes are torn down; they must not be looked at then.
    disconnect(qApp, nullptr, this, nullptr);
}

bool CMDIFrameSplitter::eventFilter(QObject* watched, QEvent* event) {
    if (watched == splitter_ && event->type() == QEvent::Resize && !sized_ &&
        splitter_->width() > 0) {
        sized_ = true;
        const int client = splitter_->width();
        const int left = client >> 1;
        splitter_->setSizes({left, std::max(client - left - splitter_->handleWidth(), 0)});
    }
    return CMDIChildFrame::eventFilter(watched, event);
}

QSize CMDIFrameSplitter::sizeHint() const {
    // Made at its default size, the window shows the whole information form in a right pane
    // of half its width (the left pane takes the other half).
    const QSize base = CMDIChildFrame::sizeHint();
    const QSize panes = splitter_->sizeHint();
    const QSize info = info_->sizeHint();
    const int pane = std::max(info.width(), comm_->sizeHint().width());
    // The left pane takes half the width; the right one the rest less the handle.
    const int width = 2 * (pane + splitter_->handleWidth());
    const int height = std::max(info.height(), panes.height());
    return base + QSize(std::max(0, width - panes.width()), std::max(0, height - panes.height()));
}

void CMDIFrameSplitter::InitialUpdateFrame() {
    comm_->OnInitialUpdate();
    info_->OnInitialUpdate();
}

QWidget* CMDIFrameSplitter::ActiveView() const {
    return lastActive_;
}

void CMDIFrameSplitter::SwitchPane() {
    QWidget* next = lastActive_ == comm_ ? static_cast<QWidget*>(info_) : comm_;
    lastActive_ = next;
    next->setFocus(Qt::OtherFocusReason);
    if (next == info_ && info_->InputButton()->isEnabled())
        info_->InputButton()->setFocus(Qt::OtherFocusReason);
}

bool CMDIFrameSplitter::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::ShowBufferContents:
            state.checked = comm_->Display();
            return true;
        case cmd::ShowBufferInfo:
            state.checked = info_->Display();
            return true;
        case cmd::NextPane:
        case cmd::PrevPane:
            return true;
        default:
            return CMDIChildFrame::UpdateCommand(id, state);
    }
}

bool CMDIFrameSplitter::ExecuteCommand(int id) {
    switch (id) {
        case cmd::ShowBufferContents:
            comm_->SetDisplay(!comm_->Display());
            comm_->viewport()->update();
            return true;
        case cmd::ShowBufferInfo:
            info_->SetDisplay(!info_->Display());
            info_->update();
            return true;
        case cmd::NextPane:
        case cmd::PrevPane:
            SwitchPane();  // two panes: next and previous are the same one
            return true;
        default:
            return CMDIChildFrame::ExecuteCommand(id);
    }
}

}  // namespace tolvan::app
