#include "setup/page_caption.h"

#include "setup/page_strings.h"

namespace kerdal {

QString PageCaption(unsigned captionId, const char* templateCaption) {
    if (captionId != 0) {
        const QString text = page_strings::PageString(captionId);
        if (!text.isEmpty()) return text;
    }
    return QString::fromLatin1(templateCaption);
}

}  // namespace kerdal
