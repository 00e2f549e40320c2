// The line parameters a user last chose, kept in the profile's [COMM] section, and the log
// file the profile may name. Read at start into the setup library's current choices and
// written back from them at exit.
#pragma once

#include "framework/profile.h"

#include <string>

class AndCommParam;

namespace tolvan::app {

// The file named by [COMM] LogFile: created empty (an existing file is emptied) and held
// under an exclusive lock until it is closed, so no other program writes to it meanwhile.
class CommLogFile {
public:
    CommLogFile() = default;
    ~CommLogFile() { Close(); }
    CommLogFile(const CommLogFile&) = delete;
    CommLogFile& operator=(const CommLogFile&) = delete;
    // False (and no file held) when it cannot be created or another program holds it.
    bool Create(const std::string& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
};

// [COMM] BaudRate, Parity (its first letter), WordLen, StopBits onto the current choices of
// params, starting from the library's defaults; a value that is not in the library's tables
// leaves the default. Then the log file: created when LogFile is not empty.
void LoadCommSettings(const tfw::CProfile& profile, AndCommParam& params, CommLogFile& log);

// Writes the four current choices as their display texts ("19200", "None", "8", "1") and
// closes the log file.
void SaveCommSettings(tfw::CProfile& profile, const AndCommParam& params, CommLogFile& log);

}  // namespace tolvan::app
