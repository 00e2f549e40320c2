#include "app/mdi_frame_bar.h"

#include "app/app_strings.h"
#include "app/tab_bar.h"
#include "app/toolbar_icons.h"

#include <QVBoxLayout>

#include <array>

namespace tolvan::app {

CMDIFrameBar::CMDIFrameBar(QWidget* view, int menuId, QWidget* parent)
    : CMDIChildFrame(menuId, parent), view_(view) {
    setWindowIcon(ProgramIcon(2));
    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    bar_ = new CTabBar(client);
    bar_->setObjectName(QString::number(kToolbarId));
    view_->setParent(client);
    view_->setObjectName(QString::number(kFirstPaneId));

    constexpr std::array kEdges{100, 200, 300, 400, 500, 600};
    bar_->SetColumns(kEdges);
    for (int i = 0; i <= static_cast<int>(kEdges.size()); ++i)
        bar_->SetColumnTitle(i, str::FirstColumnTitle + static_cast<unsigned>(i));
    bar_->AttachView(view_);

    layout->addWidget(bar_);
    layout->addWidget(view_, 1);
    setWidget(client);
}

bool CMDIFrameBar::UpdateCommand(int id, CommandState& state) {
    if (id != cmd::ViewToolbar) return false;
    // The bar carries the toolbar's id, so View > Toolbar in this window means this bar.
    state.checked = !bar_->isHidden();
    return true;
}

bool CMDIFrameBar::ExecuteCommand(int id) {
    if (id != cmd::ViewToolbar) return false;
    bar_->setVisible(bar_->isHidden());
    return true;
}

}  // namespace tolvan::app
