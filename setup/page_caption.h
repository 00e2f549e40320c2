#pragma once
// The tab caption of a page: the string `captionId` of the string tables, or the caption
// of the page's template when the id is 0 or names no string.

#include <QString>

namespace kerdal {

QString PageCaption(unsigned captionId, const char* templateCaption);

}  // namespace kerdal
