#include "app/dlg_list_channels.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvan::app {

CDlgListChannels::CDlgListChannels(const QStringList& titles, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
    setWindowTitle(QStringLiteral("List of channels"));
    for (int i = 0; i < titles.size(); ++i) {
        auto* item = new QListWidgetItem(titles[i], list_);
        item->setData(Qt::UserRole, i);
    }
    list_->sortItems();
    // Nothing is chosen until the user picks a line.
    list_->setCurrentRow(-1);
    list_->clearSelection();
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->installEventFilter(this);

    auto* buttons = new QDialogButtonBox(this);
    show_ = buttons->addButton(QStringLiteral("Show"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    show_->setDefault(true);
    show_->setEnabled(false);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { show_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* label = new QLabel(QStringLiteral("&Channels"), this);
    label->setBuddy(list_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(360, 240);
}

void CDlgListChannels::accept() {
    const QList<QListWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;  // nothing to show: the dialog stays
    QListWidgetItem* item = selected.front();
    chosen_ = item->data(Qt::UserRole).toInt();
    QDialog::accept();
}

bool CDlgListChannels::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace tolvan::app
