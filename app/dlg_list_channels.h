// "List of channels": the titles of every channel, sorted; "Show" (or a double click, Enter
// or the space bar on an entry) ends the dialog with that entry chosen.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace tolvan::app {

class CDlgListChannels : public QDialog {
    Q_OBJECT
public:
    // titles in the caller's order; Chosen() indexes into it.
    explicit CDlgListChannels(const QStringList& titles, QWidget* parent = nullptr);

    // The caller's index of the chosen entry, -1 when none (Cancel).
    int Chosen() const { return chosen_; }
    QListWidget* List() const { return list_; }
    QPushButton* ShowButton() const { return show_; }

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* list_;
    QPushButton* show_;
    int chosen_ = -1;
};

}  // namespace tolvan::app
