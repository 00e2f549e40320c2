#include "app/lane_progress.h"

#include <QProgressDialog>

namespace tolvan::app {

namespace {
// The bar counts in these steps, so that sizes beyond int fit.
constexpr int kScale = 1000;
}  // namespace

LaneProgress::LaneProgress(QWidget* parent) : parent_(parent) {}

LaneProgress::~LaneProgress() {
    if (dialog_) dialog_->deleteLater();
}

std::shared_ptr<std::atomic<bool>> LaneProgress::Begin(const QString& label, bool cancellable) {
    ++running_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    if (!parent_) return cancel_;
    if (!dialog_) {
        dialog_ = new QProgressDialog(parent_);
        dialog_->setObjectName(kLaneProgressObjectName);
        // Modal would stop the user at the window; the commands keep their order anyway.
        dialog_->setWindowModality(Qt::NonModal);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        dialog_->setMinimumDuration(0);
        // Cancel reaches the latest command's flag (the holder outlives this object if it
        // must: the dialog goes later).
        QObject::connect(dialog_, &QProgressDialog::canceled, dialog_, [latest = latest_] {
            if (*latest) (*latest)->store(true);
        });
    }
    dialog_->setLabelText(label);
    dialog_->setRange(0, 0);
    dialog_->setCancelButtonText(cancellable ? QProgressDialog::tr("Cancel") : QString());
    *latest_ = cancellable ? cancel_ : nullptr;
    dialog_->show();
    return cancel_;
}

void LaneProgress::SetProgress(std::uint64_t done, std::uint64_t total) {
    if (!dialog_ || running_ == 0) return;
    if (total == 0) {
        dialog_->setRange(0, 0);
        return;
    }
    dialog_->setRange(0, kScale);
    dialog_->setValue(static_cast<int>(std::min(done, total) * kScale / total));
}

void LaneProgress::End() {
    if (running_ > 0) --running_;
    if (running_ > 0 || !dialog_) return;
    dialog_->hide();
    dialog_->deleteLater();  // a new one for the next command: no state of this one stays
    dialog_.clear();
}

}  // namespace tolvan::app
