// One action per command id, shared by every menu bar, the toolbar and the accelerators, and
// the menu bars built from the menu table. The actions carry the command's prompt (status
// bar) and tooltip from the string table and its accelerator keys.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <map>

class QAction;
class QMenu;
class QWidget;

namespace tolvan::app {

class CommandActions : public QObject {
    Q_OBJECT
public:
    // owner: the main window; every action is added to it, so that its accelerator works in
    // whichever child window is active.
    explicit CommandActions(QWidget* owner);

    // The action of a command, made on first use.
    QAction* Action(int id);
    // The item of a menu for command id: its action, or - where this menu gives the command
    // a text of its own ("Transmit Strin&G..." beside "Transmit &String...") - an item with
    // that text that runs the command and follows its action's state.
    QAction* MenuAction(int id, const QString& menuText);
    // The action, or null when none was made.
    QAction* Find(int id) const;
    const std::map<int, QAction*>& All() const { return actions_; }

    // The pop-ups of menu bar menuId in order, owned by parent; empty for an unknown id.
    QList<QMenu*> BuildMenus(int menuId, QWidget* parent);

    // The command id an action stands for, or 0.
    static int CommandId(const QAction* action);

Q_SIGNALS:
    void commandTriggered(int id);

private:
    QWidget* owner_;
    std::map<int, QAction*> actions_;
};

}  // namespace tolvan::app
