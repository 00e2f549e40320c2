// String ids that the library defines in its part of the string table (program strings of
// the same id take precedence). The table joins the process's strings when the library loads.
#pragma once

inline constexpr unsigned kIdsDialListTemplate = 5;  // phone-list document template
inline constexpr unsigned kIdsParityOdd = 61216;     // parity names, by table position
inline constexpr unsigned kIdsParityEven = 61217;
inline constexpr unsigned kIdsParityNone = 61218;
inline constexpr unsigned kIdsParityMark = 61219;
inline constexpr unsigned kIdsParitySpace = 61220;
inline constexpr unsigned kIdsDialEntrySettings = 61255;  // caption of the dial-entry sheet
