#include "setup/dial_page_strings.h"

#include "setup/page_strings.h"

#include "framework/string_table.h"

namespace kerdal::dial_strings {

namespace {

constexpr tfw::StringEntry kEntries[] = {
    {kIdsCommentRequired, "The \"Comment\" text box must be filled"},
    {kIdsNothingSelected, "Items were not selected"},
    {kIdsConfirmDelete, "Do you really want to delete the selected items?"},
};

const tfw::StringRegistration kRegistration(tfw::StringSource::Library, kEntries);

}  // namespace

QStringList DuplexItems() {
    return {QStringLiteral("Full"), QStringLiteral("Half")};
}

QString DialString(unsigned id) {
    return page_strings::PageString(id);
}

}  // namespace kerdal::dial_strings
