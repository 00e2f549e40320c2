// Tells the desktop about the server: a desktop entry (opens .ccf .mcf .icf .lst files),
// shared-mime-info types for those extensions, and D-Bus activation files so that a client
// asking for a channel class starts the server in the automation mode. Everything goes
// under the user's data home (${XDG_DATA_HOME:-~/.local/share}); files already right are
// left alone.
//
// An installed copy wins: a file that the system's data folders (XDG_DATA_DIRS, and the
// share folder beside the program's own bin folder) already hold, as a package installs
// them, is not written, since the user's copy would hide the installed one. So only a
// server started from its build folder on a machine without the package registers itself.
#pragma once

#include <string>
#include <vector>

namespace tolvan::app {

std::string UserDataHome();

// Where installed copies are looked for: ${XDG_DATA_DIRS:-/usr/local/share:/usr/share},
// then <program's folder>/../share.
std::vector<std::string> SystemDataDirs(const std::string& program);

// program: absolute path of the server; profile: the profile it runs with (given to the
// activated server as --profile). dataHome empty: UserDataHome(). systemDirs: where
// installed copies are looked for (SystemDataDirs(program) by default). False when a file
// could not be written; error says which.
bool RegisterWithDesktop(const std::string& program, const std::string& profile,
                         const std::string& dataHome = {}, std::string* error = nullptr);
bool RegisterWithDesktop(const std::string& program, const std::string& profile,
                         const std::string& dataHome, std::string* error,
                         const std::vector<std::string>& systemDirs);

}  // namespace tolvan::app
