#pragma once

#include "setup/kerdal32_export.h"
// The sheet that adds or edits one phone-list entry: the "Dial Entry" page with the entry's
// comment, dial string and duplex mode, and the port "Settings" page, which starts at the
// library's current parameters. On OK the entry takes the pages' values; handshakes have no
// place in an entry, so `disableHandshakes` shows their boxes unchecked and disabled.

class QString;
class QWidget;
struct tagDialEntry;

namespace kerdal {

// True when the sheet was accepted and `entry` now holds what the user chose.
KERDAL32_API bool RunDialEntrySheet(tagDialEntry& entry, const QString& caption, QWidget* parent,
                                    bool disableHandshakes);

// Makes the entry's line parameters the library's current ones, so that the sheet starts at
// them when it edits the entry; one outside the tables stays as it was.
KERDAL32_API void StartAtEntryLine(const tagDialEntry& entry);

}  // namespace kerdal
