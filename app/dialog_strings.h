// Captions and labels of the channel command dialogs (the menu prompts and messages live in
// the program's string table, app_strings.h).
#pragma once

namespace tolvan::app::dlgtext {

inline constexpr const char* kSendStringCaption = "Send string";
inline constexpr const char* kSendStringLabel = "Enter the string to be sent";
inline constexpr const char* kAddLineFeed = "Add \\n";
inline constexpr const char* kAddCarriageReturn = "Add \\r";

inline constexpr const char* kReadBytesCaption = "Read bytes";
inline constexpr const char* kReadBytesLabel = "Number of bytes to read";

inline constexpr const char* kCommandCaption = "Command";
inline constexpr const char* kCommandLabel = "Command:";

inline constexpr const char* kOutputPageCaption = "Output";
inline constexpr const char* kInputPageCaption = "Input";
inline constexpr const char* kCurrentSizeLabel = "Current size:";
inline constexpr const char* kMinimumSizeLabel = "Minimum possible size:";
inline constexpr const char* kNewSizeLabel = "New size:";

inline constexpr const char* kSelectFilesCaption = "Select a List of Files";
inline constexpr const char* kFileNameLabel = "File &Name:";
inline constexpr const char* kDirectoriesLabel = "&Directories:";
inline constexpr const char* kFileTypeLabel = "List Files of &Type:";
inline constexpr const char* kDrivesLabel = "Dri&ves:";
inline constexpr const char* kListOfFilesLabel = "List of Files:";
inline constexpr const char* kAllFilesFilter = "All Files (*)";
inline constexpr const char* kAddButton = "Add";
inline constexpr const char* kDeleteButton = "Delete";
inline constexpr const char* kAddAllButton = "Add all";

inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "Cancel";

}  // namespace tolvan::app::dlgtext
