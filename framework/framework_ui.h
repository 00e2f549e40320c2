// How the framework asks the user something or tells of a failure. The application sets
// these to its dialogs; without them nothing is shown, save prompts answer "don't save" and
// no save path is chosen, so a hidden server or a test never blocks.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tfw {

class CDocument;

enum class SaveAnswer { Save, Discard, Cancel };

struct FrameworkUi {
    // A failure the user should see (cannot open or save a file, cannot create a document).
    std::function<void(const std::string& message)> showError;
    // "Save changes to <title>?" for a modified document being closed.
    std::function<SaveAnswer(CDocument& document)> askSaveChanges;
    // Save As: the path to save to, or nothing when the user cancelled.
    std::function<std::optional<std::string>(CDocument& document)> askSavePath;
    // A path was opened or saved: enter it in the recently used file list.
    std::function<void(const std::string& path)> addToRecentFiles;
};

// The process-wide hooks (UI thread only).
FrameworkUi& TheFrameworkUi();

// Shows a failure through the hook, if one is set.
void ReportFrameworkError(const std::string& message);

}  // namespace tfw
