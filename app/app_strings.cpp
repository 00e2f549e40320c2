#include "app/app_strings.h"

#include <algorithm>
#include <array>

namespace tolvan::app {

namespace {

// Sorted by id: AppString looks entries up by binary search.
constexpr std::array kTable = std::to_array<tfw::StringEntry>({
    {2, "Brevond Communication server"},
    {3, "\nRiVo32\nVoVavu Document\nVoVavu Files (*.ccf)\n.ccf\nRiVo32.Document\nVoVavu Document"},
    {4, "\nDaRi32\nModem Document\nModem Files (*.mcf)\n.mcf\nDaRi32.Document\nModem Document"},
    {6,
     "\nViDA\nInfra-Red Document\nInfra-Red Files (*.icf)\n.icf\nViDA.Document\nInfra-Red "
     "Document"},
    {100,
     "OLE 2.0 initialization failed.  Make sure that the OLE libraries are the correct version."},
    {32773, "Sends symbols to COMM port"},
    {32774, "Setting channel parameters"},
    {32775, "Connects this channel to existing COMM port"},
    {32776, "Shows list of existing channels"},
    {32777, "Sets sizes of receiving and transmission buffers of the channel"},
    {32778, "Hides window if it was created by other application"},
    {32779, "Clears the receiving buffer"},
    {32780, "Clears the transmission buffer"},
    {32781, "Closes connection with port"},
    {32782, "Reads the given number of bytes"},
    {32783, "Reads string from buffer"},
    {32784, "Sets default sizes for internal buffer of COMM port"},
    {32785, "Enables or disables displaying of contents of showed buffer"},
    {32786, "Shows or hides buffer's info"},
    {32787, "Locks COM port for further writing by active channel only"},
    {32788, "Unlocks COM port"},
    {32789, "Sets modem parameters"},
    {32790, "Sends the initialization string to the modem"},
    {32791, "Adds a new item to the phone list"},
    {32792, "Inserts a new item to the phone list"},
    {32793, "Removes the selected items from the phone list"},
    {32794, "Sets the selected item's attributes"},
    {32795, "Hangs up the modem"},
    {32796, "Executes the given command"},
    {32797, "Dials the specified number"},
    {32798, "Repeates the last executed command"},
    {32799, "Transmits a set of files"},
    {32800, "Receives file via XMODEM protocol"},
    {57344, "Tolvane Windows Application"},
    {57345, "For Help, press F1"},
    {57600, "Create a new document\nNew"},
    {57601, "Open an existing document\nOpen"},
    {57602, "Close the active document\nClose"},
    {57603, "Save the active document\nSave"},
    {57604, "Save the active document with a new name\nSave As"},
    {57606, "Change the printer and printing options\nPrint Setup"},
    {57607, "Print the active document\nPrint"},
    {57609, "Display full pages\nPrint Preview"},
    {57616, "Open this document"},
    {57617, "Open this document"},
    {57618, "Open this document"},
    {57619, "Open this document"},
    {57634, "Copy the selection and put it on the Clipboard\nCopy"},
    {57635, "Cut the selection and put it on the Clipboard\nCut"},
    {57637, "Insert Clipboard contents\nPaste"},
    {57643, "Undo the last action\nUndo"},
    {57648, "Open another window for the active document\nNew Window"},
    {57649, "Arrange icons at the bottom of the window\nArrange Icons"},
    {57650, "Arrange windows so they overlap\nCascade Windows"},
    {57651, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {57664, "Display program information, version number and copyright\nAbout"},
    {57665, "Quit the application; prompts to save documents\nExit"},
    {57666, "List Help topics\nHelp Index"},
    {57668, "Display instructions about how to use help\nHelp"},
    {57669, "Display help for clicked buttons, menus and windows\nHelp"},
    {57670, "Display help for current task or command\nHelp"},
    {57680, "Switch to the next window pane\nNext Pane"},
    {57681, "Switch back to the previous window pane\nPrevious Pane"},
    {59137, "CAP"},
    {59138, "NUM"},
    {59139, "SCRL"},
    {59392, "Show or hide the toolbar\nToggle ToolBar"},
    {59393, "Show or hide the status bar\nToggle StatusBar"},
    {61232, "Connection failed"},
    {61233, "Port setting failed"},
    {61248, "This channel has no buffer "},
    {61249, "Setup Connection"},
    {61251, "Buffer Settings"},
    {61252, "Not Connected."},
    {61253, "Name:"},
    {61254, "Modem Settings"},
    {61255, "Dial"},
    {61264, "Do you really want to clear the buffer?"},
    {61265, "Do you really want to close connection?"},
    {61280, "Comment"},
    {61281, "Dial String"},
    {61282, "Baud Rate"},
    {61283, "Parity"},
    {61284, "Word Length"},
    {61285, "Stop Bits"},
    {61286, "Duplex"},
    {61298, "&Add..."},
    {61299, "&Insert..."},
    {61300, "&Delete..."},
    {61301, "&Properties..."},
});

constexpr bool SortedById() {
    for (std::size_t i = 1; i < kTable.size(); ++i)
        if (kTable[i - 1].id >= kTable[i].id) return false;
    return true;
}
static_assert(SortedById(), "string table must be sorted by id without duplicates");

}  // namespace

std::span<const tfw::StringEntry> AppStringTable() {
    return kTable;
}

std::unique_ptr<tfw::StringRegistration> RegisterAppStrings() {
    return std::make_unique<tfw::StringRegistration>(tfw::StringSource::Program, AppStringTable());
}

std::string_view AppString(unsigned id) {
    auto it = std::lower_bound(kTable.begin(), kTable.end(), id,
                               [](const tfw::StringEntry& e, unsigned v) { return e.id < v; });
    if (it == kTable.end() || it->id != id) return {};
    return it->text;
}

QString AppText(unsigned id) {
    std::string_view s = AppString(id);
    if (s.empty()) {
        std::string library;
        if (!tfw::LoadString(id, library)) return {};
        return QString::fromLatin1(library.data(), static_cast<qsizetype>(library.size()));
    }
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

QString PromptText(unsigned id) {
    QString s = AppText(id);
    qsizetype nl = s.indexOf(QLatin1Char('\n'));
    return nl < 0 ? s : s.left(nl);
}

QString TipText(unsigned id) {
    QString s = AppText(id);
    qsizetype nl = s.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : s.mid(nl + 1);
}

}  // namespace tolvan::app
