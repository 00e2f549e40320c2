#pragma once
// The pieces the exported query functions build their sheets from: each Add... fills
// pages from a record and adds them to a sheet (the sheet owns them); each Collect...
// copies the user's choices back into the record once the sheet was accepted.

#include "setup/records/param_records.h"

#include <QString>

#include <string>

class CDlgPSModemMode;
class CPSMdmSpecSet;
class CPSModemSetting;
class CPSSelectPort;
class CPSSettingsPort;

namespace kerdal {

class PropertySheet;

// Help contexts of the pages in the modem sheets.
inline constexpr unsigned kSelectPortHelpContext = 0x20083;
inline constexpr unsigned kSettingsPortHelpContext = 0x20085;

QString FromLocal(const std::string& text);
std::string ToLocal(const QString& text);

// A "Select Port" page on `portList` preselecting `port`; `helpContext` 0 for none.
CPSSelectPort* AddSelectPortPage(PropertySheet& sheet, const char* portList, int port,
                                 unsigned helpContext = 0);
// The number in the chosen port text; `port` as it was when nothing usable was chosen
// (an empty list gives no text, and port 0 does not exist).
void CollectSelectPortPage(const CPSSelectPort& page, std::int32_t& port);

// The communication part: "Select Port" unless the port is fixed, then "Settings" on the
// process-wide parameter tables with their current choices moved to the record's values.
struct CommPages {
    CPSSelectPort* select = nullptr;
    CPSSettingsPort* settings = nullptr;
};
CommPages AddCommPages(PropertySheet& sheet, const char* portList, const AndCOMMParam& record,
                       unsigned selectHelp = 0, unsigned settingsHelp = 0);
// Also leaves the chosen line parameters as the library's current choices.
void CollectCommPages(const CommPages& pages, AndCOMMParam& record);

// The "Modem" page.
CPSModemSetting* AddModemPage(PropertySheet& sheet, const AndModemParam& record);
void CollectModemPage(const CPSModemSetting& page, AndModemParam& record);

// The "Work mode" and "Modem Mode" pages.
struct ModemModePages {
    CPSMdmSpecSet* workMode = nullptr;
    CDlgPSModemMode* modemMode = nullptr;
};
ModemModePages AddModemModePages(PropertySheet& sheet, const AndModemMode& record);
void CollectModemModePages(const ModemModePages& pages, AndModemMode& record);

// The sheet's caption: the caller's 8-bit text, empty for none.
QString CaptionText(const char* caption);

}  // namespace kerdal
