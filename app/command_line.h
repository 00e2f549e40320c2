// What the server's command line asks for: the automation mode (-Embedding, /Embedding,
// -Automation, /Automation, any case), the profile (--profile FILE, else TOLVAN32_PROFILE,
// else ${XDG_CONFIG_HOME:-~/.config}/tolvan32/tolvan32.ini) and a document to open (the
// remaining words joined by blanks, so a path with blanks is taken whole, quotes kept).
#pragma once

#include <string>
#include <vector>

namespace tolvan::app {

struct CommandLine {
    bool automation = false;
    std::string profilePath;
    std::string document;
};

// args without the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The profile used when neither --profile nor TOLVAN32_PROFILE names one.
std::string DefaultProfilePath();

}  // namespace tolvan::app
