// The phone-list document type: its template (the library's template string 5: document
// name "RuVido", "Phone List Document", "Phone List Files (*.lst)", ".lst") and its window,
// a CMDIFrameBar with the column bar above a CViewPhoneList. The window's document commands
// are File Save, Save As and Close; closing the window of a modified list asks whether to save
// it ("Save changes to <name>?", Yes, No, Cancel).
#pragma once

#include "framework/doc_template.h"

#include <functional>
#include <memory>

namespace tfw {
class CDocument;
}

namespace tolvan::app {

class CFrameMain;
class CMDIFrameBar;

// The template; its documents get their window in the main frame that mainFrame returns at
// the time (none yet: the document is made without a window).
std::unique_ptr<tfw::CDocTemplate> MakePhoneListTemplate(std::function<CFrameMain*()> mainFrame);

// Builds, shows and fills the window of a phone list in main; null when document is not a
// phone list.
CMDIFrameBar* CreatePhoneListWindow(CFrameMain& main, tfw::CDocument& document);

}  // namespace tolvan::app
