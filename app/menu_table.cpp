#include "app/menu_table.h"

#include "app/command_ids.h"

#include <array>

namespace tolvan::app {

namespace {

using M = MenuItemDef;

constexpr M I(int id, std::string_view text) {
    return M{id, text, {}, false};
}
constexpr M Sub(std::string_view text, std::span<const M> items) {
    return M{0, text, items, false};
}
constexpr M Grayed(int id, std::string_view text) {
    return M{id, text, {}, true};
}
constexpr M kSep{0, {}, {}, false};

constexpr M kFileMain[] = {
    I(cmd::FileNew, "&New\tCtrl+N"),
    I(cmd::FileOpen, "&Open...\tCtrl+O"),
    kSep,
    I(cmd::FilePrintSetup, "P&rint Setup..."),
    kSep,
    Grayed(cmd::FileMru1, "Recent File"),
    kSep,
    I(cmd::AppExit, "E&xit"),
};
constexpr M kFileDoc[] = {
    I(cmd::FileNew, "&New\tCtrl+N"),
    I(cmd::FileOpen, "&Open...\tCtrl+O"),
    I(cmd::FileClose, "&Close"),
    I(cmd::FileSave, "&Save\tCtrl+S"),
    I(cmd::FileSaveAs, "Save &As..."),
    kSep,
    I(cmd::FilePrint, "&Print...\tCtrl+P"),
    I(cmd::FilePrintPreview, "Print Pre&view"),
    I(cmd::FilePrintSetup, "P&rint Setup..."),
    kSep,
    Grayed(cmd::FileMru1, "Recent File"),
    kSep,
    I(cmd::AppExit, "E&xit"),
};
constexpr M kViewMain[] = {
    I(cmd::ShowChannels, "&Channels..."),
    kSep,
    I(cmd::ViewToolbar, "&Toolbar"),
    I(cmd::ViewStatusBar, "&Status Bar"),
};
constexpr M kViewChannel[] = {
    I(cmd::ShowChannels, "&Channels..."),
    kSep,
    I(cmd::ViewToolbar, "&Toolbar"),
    I(cmd::ViewStatusBar, "&Status Bar"),
    I(cmd::ShowBufferContents, "&Buffer's Contents"),
    I(cmd::ShowBufferInfo, "Buffer's &Info"),
};
constexpr M kHelp[] = {
    I(cmd::HelpIndex, "&Index"),
    I(cmd::HelpUsing, "&Using Help"),
    kSep,
    I(cmd::AppAbout, "&About Tolvane..."),
};
constexpr M kReceiveFile[] = {I(cmd::ReceiveXModem, "&XModem")};
constexpr M kCommChannel[] = {
    I(cmd::Connect, "&Connect..."),
    I(cmd::CloseConnection, "Close Co&Nnection"),
    kSep,
    I(cmd::ClearReceive, "Clear &Receiving..."),
    I(cmd::ClearTransmit, "Clear &Transmission..."),
    kSep,
    I(cmd::TransmitString, "Transmit &String..."),
    I(cmd::ReceiveBytes, "Receive &Bytes..."),
    I(cmd::ReceiveString, "Receive Strin&G"),
    Sub("Receive &File", kReceiveFile),
    kSep,
    I(cmd::LockPort, "&Lock"),
    I(cmd::UnlockPort, "&Unlock"),
};
constexpr M kCommModem[] = {
    I(cmd::Connect, "&Connect..."),
    I(cmd::CloseConnection, "Close Co&Nnection"),
    kSep,
    I(cmd::ClearReceive, "Clear &Receiving..."),
    I(cmd::ClearTransmit, "Clear &Transmission..."),
    kSep,
    I(cmd::TransmitString, "Transmit Strin&G..."),
    I(cmd::TransmitFiles, "Transmit &Files..."),
    I(cmd::ReceiveBytes, "&Receive Bytes..."),
    I(cmd::ReceiveString, "Receive &String"),
    kSep,
    I(cmd::LockPort, "&Lock"),
    I(cmd::UnlockPort, "&Unlock"),
};
constexpr M kCommInfraRed[] = {
    I(cmd::Connect, "&Connect..."),
    I(cmd::CloseConnection, "Close Co&Nnection"),
    kSep,
    I(cmd::ClearReceive, "Clear &Receiving..."),
    I(cmd::ClearTransmit, "Clear &Transmission..."),
    kSep,
    I(cmd::TransmitString, "&Transmit String..."),
    I(cmd::ReceiveBytes, "&Receive Bytes..."),
    I(cmd::ReceiveString, "Receive &String"),
    kSep,
    I(cmd::LockPort, "&Lock"),
    I(cmd::UnlockPort, "&Unlock"),
};
constexpr M kModem[] = {
    I(cmd::ModemInit, "&Initialize"),       kSep, I(cmd::ModemCommand, "&Command..."),
    I(cmd::ModemRepeat, "&Repeat command"), kSep, I(cmd::ModemDial, "&Dial..."),
    I(cmd::ModemHangUp, "&Hang Up"),
};
constexpr M kSettingsChannel[] = {
    I(cmd::DefaultBufferSize, "&Default Buffer Size..."),
    I(cmd::BufferSettings, "&Buffer Settings..."),
    kSep,
    I(cmd::ChannelSettings, "Channel &Settings..."),
};
constexpr M kSettingsModem[] = {
    I(cmd::DefaultBufferSize, "&Default Buffer Size..."),
    I(cmd::BufferSettings, "&Buffer Settings..."),
    kSep,
    I(cmd::ChannelSettings, "Channel &Settings..."),
    I(cmd::ModemSettings, "&Modem Settings..."),
};
constexpr M kWindowChannel[] = {
    I(cmd::WindowNew, "&New Window"),
    I(cmd::WindowCascade, "&Cascade"),
    I(cmd::WindowTile, "&Tile"),
    I(cmd::WindowArrange, "&Arrange Icons"),
    kSep,
    I(cmd::HideWindow, "&Hide"),
};
constexpr M kWindowList[] = {
    I(cmd::WindowNew, "&New Window"),
    I(cmd::WindowCascade, "&Cascade"),
    I(cmd::WindowTile, "&Tile"),
    I(cmd::WindowArrange, "&Arrange Icons"),
};
constexpr M kEditList[] = {
    I(cmd::ListAdd, "&Add..."),
    I(cmd::ListInsert, "&Insert..."),
    I(cmd::ListDelete, "&Delete..."),
    kSep,
    I(cmd::ListProperties, "&Properties..."),
};

constexpr PopupDef kMenu2[] = {
    {"&File", kFileMain},
    {"&View", kViewMain},
    {"&Help", kHelp},
};
constexpr PopupDef kMenu3[] = {
    {"&File", kFileDoc},     {"&Communications", kCommChannel}, {"&Settings", kSettingsChannel},
    {"&View", kViewChannel}, {"&Window", kWindowChannel},       {"&Help", kHelp},
};
constexpr PopupDef kMenu4[] = {
    {"&File", kFileDoc},     {"&Communications", kCommModem},
    {"&Modem", kModem},      {"&Settings", kSettingsModem},
    {"&View", kViewChannel}, {"&Window", kWindowChannel},
    {"&Help", kHelp},
};
constexpr PopupDef kMenu5[] = {
    {"&File", kFileDoc},      {"&Edit", kEditList}, {"&View", kViewMain},
    {"&Window", kWindowList}, {"&Help", kHelp},
};
constexpr PopupDef kMenu6[] = {
    {"&File", kFileDoc},     {"&Communications", kCommInfraRed}, {"&Settings", kSettingsChannel},
    {"&View", kViewChannel}, {"&Window", kWindowChannel},        {"&Help", kHelp},
};

constexpr MenuDef kMenus[] = {
    {menu::Main, kMenu2},      {menu::Channel, kMenu3},  {menu::Modem, kMenu4},
    {menu::PhoneList, kMenu5}, {menu::InfraRed, kMenu6},
};

constexpr AcceleratorDef kAccelerators[] = {
    {"Ctrl+N", cmd::FileNew},    {"Ctrl+O", cmd::FileOpen},   {"Ctrl+S", cmd::FileSave},
    {"Ctrl+P", cmd::FilePrint},  {"Ctrl+Z", cmd::EditUndo},   {"Alt+Backspace", cmd::EditUndo},
    {"Ctrl+X", cmd::EditCut},    {"Shift+Del", cmd::EditCut}, {"Ctrl+C", cmd::EditCopy},
    {"Ctrl+Ins", cmd::EditCopy}, {"Ctrl+V", cmd::EditPaste},  {"Shift+Ins", cmd::EditPaste},
    {"F6", cmd::NextPane},       {"Shift+F6", cmd::PrevPane}, {"Shift+F1", cmd::ContextHelp},
    {"F1", cmd::Help},
};

}  // namespace

std::span<const MenuDef> MenuTable() {
    return kMenus;
}

const MenuDef* FindMenu(int menuId) {
    for (const MenuDef& m : kMenus)
        if (m.menuId == menuId) return &m;
    return nullptr;
}

std::span<const AcceleratorDef> AcceleratorTable() {
    return kAccelerators;
}

}  // namespace tolvan::app
