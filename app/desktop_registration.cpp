#include "app/desktop_registration.h"

#include "automation/activation_files.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tolvan::app {

namespace {
namespace fs = std::filesystem;

struct FileType {
    const char* mime;
    const char* comment;
    const char* glob;
};
constexpr FileType kTypes[] = {
    {"application/x-tolvan32-channel", "VoVavu Document", "*.ccf"},
    {"application/x-tolvan32-modem", "Modem channel", "*.mcf"},
    {"application/x-tolvan32-infrared", "Infra-red channel", "*.icf"},
    {"application/x-tolvan32-phonelist", "Phone List Document", "*.lst"},
};

// Writes text unless the file already holds it.
bool WriteIfChanged(const fs::path& path, const std::string& text, std::string* error) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream old;
            old << in.rdbuf();
            if (old.str() == text) return true;
        }
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        if (error) *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

// Desktop-entry Exec fields quote arguments with double quotes, escaping " ` $ and \.
std::string DesktopQuote(const std::string& word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// True when one of the folders holds `relative` (an installed copy).
bool InstalledIn(const std::vector<std::string>& dirs, const fs::path& relative) {
    std::error_code ec;
    for (const std::string& dir : dirs)
        if (!dir.empty() && fs::exists(fs::path(dir) / relative, ec)) return true;
    return false;
}
}  // namespace

std::vector<std::string> SystemDataDirs(const std::string& program) {
    std::vector<std::string> dirs;
    const char* env = std::getenv("XDG_DATA_DIRS");
    std::string list = env && *env ? env : "/usr/local/share:/usr/share";
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) dirs.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    const fs::path bin = fs::path(program).parent_path();
    if (!bin.empty()) dirs.push_back((bin.parent_path() / "share").string());
    return dirs;
}

std::string UserDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share";
}

bool RegisterWithDesktop(const std::string& program, const std::string& profile,
                         const std::string& dataHome, std::string* error) {
    return RegisterWithDesktop(program, profile, dataHome, error, SystemDataDirs(program));
}

bool RegisterWithDesktop(const std::string& program, const std::string& profile,
                         const std::string& dataHome, std::string* error,
                         const std::vector<std::string>& systemDirs) {
    const fs::path home = dataHome.empty() ? UserDataHome() : dataHome;

    std::string mimeTypes;
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const FileType& t : kTypes) {
        mimeTypes += std::string(t.mime) + ";";
        xml += std::string("  <mime-type type=\"") + t.mime + "\">\n    <comment>" + t.comment +
               "</comment>\n    <glob pattern=\"" + t.glob + "\"/>\n  </mime-type>\n";
    }
    xml += "</mime-info>\n";

    const std::string desktop =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Brevond Communication server\n"
        "Comment=Lends the serial ports to client programs\n"
        "Exec=" +
        DesktopQuote(program) + " --profile " + DesktopQuote(profile) +
        " %f\n"
        "Terminal=false\n"
        "Categories=Utility;\n"
        "MimeType=" +
        mimeTypes + "\n";

    const fs::path mimeFile = "mime/packages/tolvan32.xml";
    const fs::path desktopFile = "applications/tolvan32.desktop";
    if (!InstalledIn(systemDirs, mimeFile) && !WriteIfChanged(home / mimeFile, xml, error))
        return false;
    if (!InstalledIn(systemDirs, desktopFile) &&
        !WriteIfChanged(home / desktopFile, desktop, error))
        return false;
    // The three activation files come as one: installed with the package, or ours.
    if (InstalledIn(systemDirs, "dbus-1/services/RiVo32.Document.service")) return true;
    return tdbus::WriteActivationFiles(program, {"--profile", profile, "-Automation"},
                                       (home / "dbus-1/services").string(), error);
}

}  // namespace tolvan::app
