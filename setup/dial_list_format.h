// The ".lst" phone-list text format. 8-bit text, every line ended by CR LF, three lines
// per entry, nothing else:
//   1: the 1-based position, a space, the comment
//   2: five spaces, the dial string
//   3: five spaces, baud,parity,word length,stop bits,duplex   e.g. "     9600,N,8,1,F"
// Reading skips the leading spaces of a line; an empty line (or one of spaces only) or the
// end of the file ends the list, and an entry cut short is dropped.
//
// Choices of this implementation:
// - A dial string that is empty (or only spaces) is written as five spaces, CR, CR LF. The
//   line reader cuts a line at its first CR but still counts it as a line, so the entry
//   loads with an empty dial string instead of ending the list - with this reader and with
//   any reader that follows the same rule.
// - A CR inside a comment or dial string is written as a space: it would cut the field.
// - A line longer than kMaxDialListLine ends the list (a phone list has no such lines; this
//   keeps a huge or binary file from being read into memory whole). So that every list we
//   write loads again whole, a comment or dial string is written cut to kMaxDialListField.
// - A third line that lacks commas: what the rule reaches is parsed, the fields it cannot
//   reach take the defaults 9600, N, 8, 1, F. Numbers out of the 32-bit range saturate.
#pragma once

#include "setup/kerdal32_export.h"
#include "framework/archive.h"
#include "setup/dial_list.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMaxDialListLine = 64 * 1024;
inline constexpr std::size_t kMaxDialListField = kMaxDialListLine - 64;

// Reads one line. Returns its count of bytes (0: no line), or -1 for a line longer than
// kMaxDialListLine; text gets the line without leading spaces, cut before its first CR.
KERDAL32_API long ReadDialListLine(tfw::CArchive& ar, std::string& text);

// Fills the line parameters of entry from a third line.
KERDAL32_API void ParseDialListSettings(std::string_view line, tagDialEntry& entry);

// Writes the three lines of the entry at 0-based position index.
void WriteDialListEntry(tfw::CArchive& ar, int index, const tagDialEntry& entry);

// Reads entries until the list ends and appends them to out.
void ReadDialListEntries(tfw::CArchive& ar, std::vector<tagDialEntry>& out);
