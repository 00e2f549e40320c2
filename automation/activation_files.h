// D-Bus activation files: let the bus start the server when a client asks for one of its
// names and none runs. One file per bus name,
//   <data home>/dbus-1/services/<name>.service
//     [D-BUS Service]
//     Name=RiVo32.Document
//     Exec=/path/to/tolvan32 -Automation
// where <data home> is ${XDG_DATA_HOME:-~/.local/share}.
#pragma once

#include <string>
#include <vector>

namespace tdbus {

// The services folder of the user's data home.
std::string UserServicesDir();

// The Exec line for a program and its arguments, quoted so that the bus splits it back
// into the same words.
std::string ExecLine(const std::string& program, const std::vector<std::string>& args);

// Writes the three files into `servicesDir` (created when missing; the user's folder when
// empty), starting `program` with `args` (e.g. {"--profile", path, "-Automation"}).
// A file whose content is already right is not rewritten. False when a file cannot be
// written; `error` says which.
bool WriteActivationFiles(const std::string& program, const std::vector<std::string>& args,
                          const std::string& servicesDir = {}, std::string* error = nullptr);

}  // namespace tdbus
