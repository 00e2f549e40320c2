#include "app/command_line.h"

#include <cstdlib>
#include <strings.h>

namespace tolvan::app {

namespace {
bool IsAutomationSwitch(const std::string& word) {
    if (word.size() < 2 || (word[0] != '-' && word[0] != '/')) return false;
    const char* rest = word.c_str() + 1;
    return ::strcasecmp(rest, "Embedding") == 0 || ::strcasecmp(rest, "Automation") == 0;
}
}  // namespace

std::string DefaultProfilePath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".";
    return base + "/tolvan32/tolvan32.ini";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (IsAutomationSwitch(word)) {
            line.automation = true;
        } else if (word == "--profile" && i + 1 < args.size()) {
            line.profilePath = args[++i];
        } else if (word.rfind("--profile=", 0) == 0) {
            line.profilePath = word.substr(10);
        } else {
            if (!line.document.empty()) line.document += ' ';
            line.document += word;
        }
    }
    if (line.profilePath.empty()) {
        const char* env = std::getenv("TOLVAN32_PROFILE");
        line.profilePath = (env && *env) ? std::string(env) : DefaultProfilePath();
    }
    return line;
}

}  // namespace tolvan::app
