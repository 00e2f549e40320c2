// The window's sign that a channel's commands are under way off the window thread (on the
// channel's lane): a progress window that blocks nothing, so the window keeps working while
// the modem is waited for or a file goes out. It names the latest command, shows a busy bar
// or a byte count, and offers Cancel where the work can stop. Window thread only.
//
//   LaneProgress progress(mainWindow);
//   auto cancel = progress.Begin(tr("Sending files"), true);   // shown at once
//   progress.SetProgress(800, 4000);                           // from the work's reports
//   progress.End();                                            // hidden when none is left
#pragma once

#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class QProgressDialog;
class QWidget;

namespace tolvan::app {

// Object name of the progress window (tests find it by this).
inline constexpr const char* kLaneProgressObjectName = "LaneProgress";

class LaneProgress {
public:
    // parent null: nothing is shown (a target without a window), the counting still works.
    explicit LaneProgress(QWidget* parent);
    ~LaneProgress();
    LaneProgress(const LaneProgress&) = delete;
    LaneProgress& operator=(const LaneProgress&) = delete;

    // One more command under way. The flag turns true when the user presses Cancel while
    // this command is the latest (only offered when `cancellable`).
    std::shared_ptr<std::atomic<bool>> Begin(const QString& label, bool cancellable);
    // The latest command's reported progress; a total of 0 shows the busy bar.
    void SetProgress(std::uint64_t done, std::uint64_t total);
    // One command ended.
    void End();
    int Running() const { return running_; }

private:
    QPointer<QWidget> parent_;
    QPointer<QProgressDialog> dialog_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    // The flag Cancel sets: the latest command's when it can stop, else none.
    std::shared_ptr<std::shared_ptr<std::atomic<bool>>> latest_ =
        std::make_shared<std::shared_ptr<std::atomic<bool>>>();
    int running_ = 0;
};

}  // namespace tolvan::app
