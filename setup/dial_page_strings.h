#pragma once
// The texts of the phone-number and dial-entry pages: template captions and control texts,
// and the string-table entries their buttons and checks show.

#include "setup/kerdal32_export.h"
#include <QString>
#include <QStringList>

namespace kerdal::dial_strings {

// String-table identifiers (library tier: a host string of the same id wins).
inline constexpr unsigned kIdsCommentRequired = 61256;
inline constexpr unsigned kIdsNothingSelected = 61296;
inline constexpr unsigned kIdsConfirmDelete = 61297;

// Template captions (the phone-number caption ends with a blank).
inline constexpr char kSelectNumberCaption[] = "Select phone number ";
inline constexpr char kDialEntryCaption[] = "Dial Entry";

// Phone-number page.
inline constexpr char kSelectNumberLabel[] = "Select a number to dial:";
inline constexpr char kAddButton[] = "Add...";
inline constexpr char kEditButton[] = "Edit...";
inline constexpr char kDeleteButton[] = "Delete...";
inline constexpr char kAdvancedButton[] = "Advanced...";

// Dial-entry page.
inline constexpr char kCommentLabel[] = "Comment:";
inline constexpr char kDialStringLabel[] = "Dial String:";
inline constexpr char kDuplexLabel[] = "Duplex:";
QStringList DuplexItems();  // "Full", "Half"

// The framework's question before a modified phone list is closed; %1 names the list.
inline constexpr char kAskToSave[] = "Save changes to %1?";
inline constexpr char kCannotCreateList[] = "Cannot create the phone list %1.";
// The framework's name for a document that has neither path nor title.
inline constexpr char kUntitled[] = "Untitled";

// The text of one of the ids above (a host override included).
KERDAL32_API QString DialString(unsigned id);

}  // namespace kerdal::dial_strings
