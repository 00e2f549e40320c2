// Tells the desktop about the server: a desktop entry (opens .ccf .mcf .icf .lst files),
// shared-mime-info types for those extensions, and D-Bus activation files so that a client
// asking for a channel class starts the server in the automation mode. Everything goes
// under the user's data home (${XDG_DATA_HOME:-~/.local/share}); files already right are
// left alone.
#pragma once

#include <string>

namespace tolvan::app {

std::string UserDataHome();

// program: absolute path of the server; profile: the profile it runs with (given to the
// activated server as --profile). dataHome empty: UserDataHome(). False when a file could
// not be written; error says which.
bool RegisterWithDesktop(const std::string& program, const std::string& profile,
                         const std::string& dataHome = {}, std::string* error = nullptr);

}  // namespace tolvan::app
