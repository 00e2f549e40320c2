#include "automation/activation_files.h"

#include "automation/channel_host.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tdbus {

namespace {

bool NeedsQuotes(const std::string& word) {
    if (word.empty()) return true;
    for (char c : word) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '-' || c == '_' ||
                           c == '=' || c == ',' || c == ':' || c == '+' || c == '@';
        if (!plain) return true;
    }
    return false;
}

// Single quotes keep everything literally; a single quote itself is closed, escaped and
// reopened ('\''), as the bus's shell-like splitting expects.
std::string Quote(const std::string& word) {
    if (!NeedsQuotes(word)) return word;
    std::string out = "'";
    for (char c : word) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string UserServicesDir() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    std::filesystem::path base;
    if (dataHome && *dataHome) {
        base = dataHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home ? home : "") / ".local" / "share";
    }
    return (base / "dbus-1" / "services").string();
}

std::string ExecLine(const std::string& program, const std::vector<std::string>& args) {
    std::string line = Quote(program);
    for (const std::string& a : args) line += " " + Quote(a);
    return line;
}

bool WriteActivationFiles(const std::string& program, const std::vector<std::string>& args,
                          const std::string& servicesDir, std::string* error) {
    const std::filesystem::path dir = servicesDir.empty() ? UserServicesDir() : servicesDir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        if (error) *error = dir.string() + ": " + ec.message();
        return false;
    }
    const std::string exec = ExecLine(program, args);
    for (int i = 0; i < kChannelClassCount; ++i) {
        const std::string name = BusNameOf(static_cast<ChannelClass>(i));
        const std::filesystem::path file = dir / (name + ".service");
        const std::string content = "[D-BUS Service]\nName=" + name + "\nExec=" + exec + "\n";
        if (ReadAll(file) == content) continue;
        // Written beside and renamed, so the bus never reads half a file.
        const std::filesystem::path temp = dir / (name + ".service.new");
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << content;
            if (!out.flush()) {
                if (error) *error = temp.string() + ": cannot write";
                return false;
            }
        }
        std::filesystem::rename(temp, file, ec);
        if (ec) {
            std::filesystem::remove(temp, ec);
            if (error) *error = file.string() + ": cannot replace";
            return false;
        }
    }
    return true;
}

}  // namespace tdbus
