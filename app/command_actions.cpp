#include "app/command_actions.h"

#include "app/app_strings.h"
#include "app/command_ids.h"
#include "app/menu_table.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QProxyStyle>
#include <QWidget>

namespace tolvan::app {

namespace {

constexpr const char* kCommandProperty = "tolvanCommandId";

QString Latin1(std::string_view s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The menu text of a command as the resources give it (without the accelerator after the tab),
// or empty when no menu holds it.
QString MenuText(int id, std::span<const MenuItemDef> items) {
    for (const MenuItemDef& item : items) {
        if (item.id == id && !item.text.empty()) {
            QString text = Latin1(item.text);
            return text.left(text.indexOf(QLatin1Char('\t')));
        }
        if (!item.submenu.empty()) {
            QString text = MenuText(id, item.submenu);
            if (!text.isEmpty()) return text;
        }
    }
    return {};
}

QString MenuText(int id) {
    for (const MenuDef& menu : MenuTable())
        for (const PopupDef& popup : menu.popups)
            if (QString text = MenuText(id, popup.items); !text.isEmpty()) return text;
    return {};
}

// Lets a greyed item be highlighted, so that the status bar explains it as well.
class MenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled) return 1;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

QMenu* NewMenu(const QString& title, QWidget* parent) {
    auto* menu = new QMenu(title, parent);
    auto* style = new MenuStyle;
    style->setParent(menu);
    menu->setStyle(style);
    return menu;
}

void AddItems(QMenu* menu, std::span<const MenuItemDef> items, CommandActions& actions) {
    for (const MenuItemDef& item : items) {
        if (item.IsSeparator()) {
            menu->addSeparator();
        } else if (!item.submenu.empty()) {
            QMenu* sub = NewMenu(Latin1(item.text), menu);
            menu->addMenu(sub);
            AddItems(sub, item.submenu, actions);
        } else if (item.id == cmd::FileMru1) {
            // The placeholder stands for the whole recent-file list.
            for (int i = 0; i < cmd::FileMruCount; ++i)
                menu->addAction(actions.Action(cmd::FileMru1 + i));
        } else {
            menu->addAction(actions.MenuAction(item.id, Latin1(item.text)));
        }
    }
}

}  // namespace

CommandActions::CommandActions(QWidget* owner) : QObject(owner), owner_(owner) {}

int CommandActions::CommandId(const QAction* action) {
    return action ? action->property(kCommandProperty).toInt() : 0;
}

QAction* CommandActions::Find(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QAction* CommandActions::Action(int id) {
    if (QAction* existing = Find(id)) return existing;
    QString text = MenuText(id);
    if (text.isEmpty()) text = TipText(static_cast<unsigned>(id));
    auto* action = new QAction(text, owner_);
    action->setProperty(kCommandProperty, id);
    action->setStatusTip(PromptText(static_cast<unsigned>(id)));
    if (QString tip = TipText(static_cast<unsigned>(id)); !tip.isEmpty()) action->setToolTip(tip);
    QList<QKeySequence> keys;
    for (const AcceleratorDef& acc : AcceleratorTable())
        if (acc.id == id) keys.append(QKeySequence(Latin1(acc.key)));
    if (!keys.isEmpty()) action->setShortcuts(keys);
    owner_->addAction(action);
    connect(action, &QAction::triggered, this, [this, id] { Q_EMIT commandTriggered(id); });
    actions_.emplace(id, action);
    return action;
}

QAction* CommandActions::MenuAction(int id, const QString& menuText) {
    QAction* action = Action(id);
    const QString text = menuText.left(menuText.indexOf(QLatin1Char('\t')));
    if (text.isEmpty() || text == action->text()) return action;
    // The same command under a text of this menu's own (its own mnemonic): an item that
    // follows the command's action in everything but the text and has no keys of its own.
    auto* item = new QAction(text, owner_);
    item->setProperty(kCommandProperty, id);
    item->setStatusTip(action->statusTip());
    item->setToolTip(action->toolTip());
    const auto follow = [item, action] {
        item->setEnabled(action->isEnabled());
        item->setCheckable(action->isCheckable());
        item->setChecked(action->isChecked());
        item->setVisible(action->isVisible());
    };
    follow();
    connect(action, &QAction::changed, item, follow);
    connect(item, &QAction::triggered, this, [this, id] { Q_EMIT commandTriggered(id); });
    return item;
}

QList<QMenu*> CommandActions::BuildMenus(int menuId, QWidget* parent) {
    QList<QMenu*> menus;
    const MenuDef* def = FindMenu(menuId);
    if (!def) return menus;
    for (const PopupDef& popup : def->popups) {
        QMenu* menu = NewMenu(Latin1(popup.title), parent);
        AddItems(menu, popup.items, *this);
        menus.append(menu);
    }
    return menus;
}

}  // namespace tolvan::app
