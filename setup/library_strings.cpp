#include "setup/library_strings.h"

#include "framework/string_table.h"

namespace {

constexpr tfw::StringEntry kStrings[] = {
    {kIdsDialListTemplate,
     "\nRuVido\nPhone List Document\nPhone List Files (*.lst)\n.lst\nRuVido.Document\nPhone List "
     "Document"},
    {kIdsParityOdd, "Odd"},
    {kIdsParityEven, "Even"},
    {kIdsParityNone, "None"},
    {kIdsParityMark, "Mark"},
    {kIdsParitySpace, "Space"},
    {kIdsDialEntrySettings, "Dial Entry Settings"},
};

// Joins the process's string table for as long as the library is loaded.
const tfw::StringRegistration g_registration(tfw::StringSource::Library, kStrings);

}  // namespace
