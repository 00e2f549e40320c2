// CMDIFrameBar: the window of a phone list: the column bar on top and the list view below.
// The bar starts with six columns with borders at 100..600 pixels and the seven column
// titles; View > Toolbar in this window shows and hides the bar.
#pragma once

#include "app/command_ids.h"
#include "app/mdi_child_frame.h"

namespace tolvan::app {

class CTabBar;

class CMDIFrameBar : public CMDIChildFrame {
    Q_OBJECT
public:
    // view: the list view under the bar (it takes its columns from the bar's columnsChanged,
    // through a slot onTabBarColumns(int,QList<int>)). The frame takes ownership.
    explicit CMDIFrameBar(QWidget* view, int menuId = menu::PhoneList, QWidget* parent = nullptr);

    CTabBar* TabBar() const { return bar_; }
    QWidget* View() const { return view_; }
    QWidget* ActiveView() const override { return view_; }

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

private:
    CTabBar* bar_;
    QWidget* view_;
};

}  // namespace tolvan::app
