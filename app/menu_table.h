// The menu bars of every document type and the accelerator table, as data. Item texts are
// those of the resources, with the accelerator after a tab ("&New\tCtrl+N").
#pragma once

#include <span>
#include <string_view>

namespace tolvan::app {

struct MenuItemDef {
    int id = 0;  // 0 with an empty submenu: a separator
    std::string_view text;
    std::span<const MenuItemDef> submenu;  // non-empty: a pop-up inside the pop-up
    bool grayed = false;                   // greyed in the resource ("Recent File")
    bool IsSeparator() const { return id == 0 && submenu.empty(); }
};

struct PopupDef {
    std::string_view title;
    std::span<const MenuItemDef> items;
};

struct MenuDef {
    int menuId;
    std::span<const PopupDef> popups;
};

// Menus 2 (no document), 3 (channel), 4 (modem channel), 5 (phone list), 6 (infra-red).
std::span<const MenuDef> MenuTable();
// The menu with that id, or null.
const MenuDef* FindMenu(int menuId);

// Accelerator table 2 (for all windows): key text in Qt's portable notation and command id.
struct AcceleratorDef {
    std::string_view key;
    int id;
};
std::span<const AcceleratorDef> AcceleratorTable();

}  // namespace tolvan::app
