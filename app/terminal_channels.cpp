#include "app/terminal_channels.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "channels/channel_stream.h"
#include "channels/doc_comm.h"
#include "framework/doc_template.h"
#include "platform/server_lock.h"

namespace tolvan::app {

namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        const auto first = part.find_first_not_of(" \t");
        const auto last = part.find_last_not_of(" \t");
        out.push_back(first == std::string::npos ? std::string()
                                                 : part.substr(first, last - first + 1));
    }
    return out;
}

bool ToNumber(const std::string& text, long low, long high, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    *value = v;
    return true;
}

}  // namespace

std::optional<TerminalEntry> ParseTerminalEntry(const std::string& name, const std::string& value,
                                                std::string* error) {
    const std::vector<std::string> parts = SplitCommas(value);
    auto fail = [&](const std::string& why) -> std::optional<TerminalEntry> {
        *error = "[Terminals] " + name + ": " + why;
        return std::nullopt;
    };
    if (name.empty()) return fail("the entry has no name");
    if (parts.size() != 5 && parts.size() != 6)
        return fail("wants COMn,baud,parity,wordlen,stopbits[,lossless]");
    TerminalEntry entry;
    entry.name = name;
    long com = 0, baud = 0, bits = 0, stops = 0;
    const std::string& port = parts[0];
    if (port.size() < 4 || strncasecmp(port.c_str(), "COM", 3) != 0 ||
        !ToNumber(port.substr(3), 1, 8, &com))
        return fail("\"" + port + "\" is no port COM1..COM8");
    if (!ToNumber(parts[1], 1, 4000000, &baud)) return fail("\"" + parts[1] + "\" is no baud rate");
    if (parts[2].size() != 1 || std::string("NOEMSnoems").find(parts[2][0]) == std::string::npos)
        return fail("parity \"" + parts[2] + "\" is none of N, O, E, M, S");
    if (!ToNumber(parts[3], 5, 8, &bits))
        return fail("word length \"" + parts[3] + "\" is not 5..8");
    if (!ToNumber(parts[4], 1, 2, &stops))
        return fail("stop bits \"" + parts[4] + "\" are not 1 or 2");
    if (parts.size() == 6) {
        if (strcasecmp(parts[5].c_str(), "lossless") != 0)
            return fail("\"" + parts[5] + "\" is not \"lossless\"");
        entry.lossless = true;
    }
    entry.com = static_cast<std::int16_t>(com);
    entry.baud = static_cast<std::int32_t>(baud);
    entry.parity = static_cast<std::int16_t>(std::toupper(static_cast<unsigned char>(parts[2][0])));
    entry.wordLength = static_cast<std::int16_t>(bits);
    entry.stopBits = static_cast<std::int16_t>(stops);
    return entry;
}

std::string TerminalLinkPath(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = runtime != nullptr && *runtime != '\0'
                                ? std::string(runtime) + "/tolvan32"
                                : "/tmp/tolvan32-" + std::to_string(getuid());
    return dir + "/" + name;
}

TerminalChannels::~TerminalChannels() {
    Close();
}

int TerminalChannels::Open(const std::vector<std::pair<std::string, std::string>>& section,
                           tfw::CDocTemplate& channelTemplate) {
    int made = 0;
    for (const auto& [name, value] : section) {
        std::string error;
        const std::optional<TerminalEntry> entry = ParseTerminalEntry(name, value, &error);
        if (!entry) {
            std::fprintf(stderr, "tolvan32: %s\n", error.c_str());
            continue;
        }
        auto* doc = dynamic_cast<CDocComm*>(channelTemplate.OpenDocumentFile(nullptr, false));
        if (doc == nullptr) continue;
        // Held like a client's channel: closing its window leaves it, as it leaves the link.
        doc->AddRef();
        doc->SetTitle(entry->name);
        const int connected = doc->ConnectToPort(entry->com, entry->baud, entry->parity,
                                                 entry->wordLength, entry->stopBits);
        std::string terminal;
        if (connected != 0) {
            error = "COM" + std::to_string(entry->com) + " does not open (status " +
                    std::to_string(connected) + ")";
        } else {
            OpenStreamTerminal(*doc, entry->lossless, &terminal, &error);
        }
        const std::string link = TerminalLinkPath(entry->name);
        if (!terminal.empty()) {
            std::error_code ec;
            fs::create_directories(fs::path(link).parent_path(), ec);
            // Only a link (ours from an earlier run) is replaced, never a file.
            if (fs::is_symlink(fs::symlink_status(link, ec))) fs::remove(link, ec);
            fs::create_symlink(terminal, link, ec);
            if (ec) error = "cannot link " + link + ": " + ec.message();
        }
        if (terminal.empty() || !error.empty()) {
            std::fprintf(stderr, "tolvan32: [Terminals] %s: %s\n", entry->name.c_str(),
                         error.c_str());
        }
        // The channel stays either way: the user sees it in the list and can connect it.
        made_.push_back({doc, error.empty() ? link : std::string(), terminal});
        ++made;
    }
    return made;
}

void TerminalChannels::Close() {
    for (const Made& m : made_) {
        if (m.link.empty()) continue;
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(m.link, ec)) &&
            fs::read_symlink(m.link, ec) == m.terminal)
            fs::remove(m.link, ec);
    }
    made_.clear();
}

}  // namespace tolvan::app
