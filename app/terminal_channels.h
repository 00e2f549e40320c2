// The channels of the profile's [Terminals] section: each entry
//     NAME=COMn,baud,parity,wordlen,stopbits[,lossless]
// makes a plain channel at start, connects it, gives it a terminal (a pty that serial
// programs open) and links NAME to the terminal's slave: a bare name as
// ${XDG_RUNTIME_DIR}/tolvan32/NAME, an absolute path as it is. The channels are listed and
// shown like any other; they live until the program ends, and keep a server started in the
// automation mode running. The links go at exit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tfw {
class CDocTemplate;
}

namespace tolvan {
class CDocComm;
}

namespace tolvan::app {

struct TerminalEntry {
    std::string name;
    std::int16_t com = 0;
    std::int32_t baud = 0;
    std::int16_t parity = 'N';
    std::int16_t wordLength = 8;
    std::int16_t stopBits = 1;
    bool lossless = false;
};

// One entry of the section; nullopt with *error saying what is wrong with it.
std::optional<TerminalEntry> ParseTerminalEntry(const std::string& name, const std::string& value,
                                                std::string* error);
// Where NAME's link goes: an absolute path as it is, a bare name in
// ${XDG_RUNTIME_DIR}/tolvan32 (or /tmp/tolvan32-<uid> without that variable).
std::string TerminalLinkPath(const std::string& name);

class TerminalChannels {
public:
    TerminalChannels() = default;
    ~TerminalChannels();  // Close()
    TerminalChannels(const TerminalChannels&) = delete;
    TerminalChannels& operator=(const TerminalChannels&) = delete;

    // Makes the section's channels with `channelTemplate`. An entry that cannot be made
    // (bad value, port that does not open, link that cannot be placed) is reported on
    // standard error and skipped; returns how many were made.
    int Open(const std::vector<std::pair<std::string, std::string>>& section,
             tfw::CDocTemplate& channelTemplate);
    // Removes the links that still point at our terminals and lets go of the channels
    // (the templates destroy them). Before the templates go.
    void Close();

    bool Empty() const { return made_.empty(); }
    struct Made {
        tolvan::CDocComm* channel;
        std::string link;
        std::string terminal;
    };
    const std::vector<Made>& Channels() const { return made_; }

private:
    std::vector<Made> made_;
};

}  // namespace tolvan::app
