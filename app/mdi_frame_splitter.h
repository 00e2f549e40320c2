// CMDIFrameSplitter: the window of a channel. The left pane shows the buffer's contents
// (CViewComm), half the frame's width at creation; the right pane its figures
// (CViewBufferInfo). View > Buffer's Contents and Buffer's Info switch the panes of this
// window only.
#pragma once

#include "app/command_ids.h"
#include "app/mdi_child_frame.h"

class QSplitter;

namespace tolvan::app {

class ChannelBufferSource;
class CViewComm;
class CViewBufferInfo;

class CMDIFrameSplitter : public CMDIChildFrame {
    Q_OBJECT
public:
    // source: the channel shown; menuId: 3 (channel), 4 (modem) or 6 (infra-red).
    explicit CMDIFrameSplitter(ChannelBufferSource* source, int menuId = menu::Channel,
                               QWidget* parent = nullptr);
    ~CMDIFrameSplitter() override;

    CViewComm* CommView() const { return comm_; }
    CViewBufferInfo* InfoView() const { return info_; }
    QSplitter* Splitter() const { return splitter_; }

    // Runs the initial update of both panes (after the frame is created for its channel).
    void InitialUpdateFrame();

    QWidget* ActiveView() const override;
    // Wide enough for both panes to show the information form whole.
    QSize sizeHint() const override;

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SwitchPane();

    QSplitter* splitter_;
    CViewComm* comm_;
    CViewBufferInfo* info_;
    QWidget* lastActive_;
    bool sized_ = false;
};

}  // namespace tolvan::app
