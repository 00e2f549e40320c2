// File > Save As for a document: the file dialog that asks where to save it.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace tfw {
class CDocument;
}

namespace tolvan::app {

// The name offered: the document's path when it has one, else its name (the last word of
// its title, a channel's title ending in its name) with the template's file extension.
std::string SuggestedSaveName(const tfw::CDocument& document);

// Asks for the path to save `document` to, with its template's file filter; the template's
// extension is added to a name typed without one. Nothing when the user cancelled.
std::optional<std::string> AskSavePath(QWidget* parent, const tfw::CDocument& document);

}  // namespace tolvan::app
