#include "app/comm_settings.h"

#include "setup/records/comm_param.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace tolvan::app {

namespace {
constexpr const char* kSection = "COMM";

// The decimal value of a non-empty text; nothing for an empty or non-numeric one.
bool ReadNumber(const tfw::CProfile& profile, const char* key, long& out) {
    const std::string text = profile.GetString(kSection, key);
    if (text.empty()) return false;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str()) return false;
    out = value;
    return true;
}
}  // namespace

bool CommLogFile::Create(const std::string& path) {
    Close();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    // Lock before emptying: a file another server holds must not lose its contents.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void CommLogFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void LoadCommSettings(const tfw::CProfile& profile, AndCommParam& params, CommLogFile& log) {
    long baud = params.GetBaudRate(params.GetDefBaudRate());
    char parity = params.GetParity(params.GetDefParity());
    long wordLength = params.GetWrdLen(params.GetDefWrdLen());
    long stopBits = params.GetStopBit(params.GetDefStopBit());

    // A value outside the tables leaves the current choice alone: start it at the default.
    params.SetCurBaudRate(baud);
    params.SetCurParity(parity);
    params.SetCurWrdLen(static_cast<int>(wordLength));
    params.SetCurStopBit(static_cast<int>(stopBits));

    ReadNumber(profile, "BaudRate", baud);
    const std::string parityText = profile.GetString(kSection, "Parity");
    if (!parityText.empty()) parity = parityText.front();
    ReadNumber(profile, "WordLen", wordLength);
    ReadNumber(profile, "StopBits", stopBits);

    params.SetCurBaudRate(baud);
    params.SetCurParity(parity);
    params.SetCurWrdLen(static_cast<int>(wordLength));
    params.SetCurStopBit(static_cast<int>(stopBits));

    const std::string logPath = profile.GetString(kSection, "LogFile");
    if (logPath.empty())
        log.Close();
    else
        log.Create(logPath);
}

void SaveCommSettings(tfw::CProfile& profile, const AndCommParam& params, CommLogFile& log) {
    std::string text;
    params.GetBaudRateStr(params.GetCurBaudRate(), &text);
    profile.WriteString(kSection, "BaudRate", text);
    params.GetParityStr(params.GetCurParity(), &text);
    profile.WriteString(kSection, "Parity", text);
    params.GetWrdLenStr(params.GetCurWrdLen(), &text);
    profile.WriteString(kSection, "WordLen", text);
    params.GetStopBitStr(params.GetCurStopBit(), &text);
    profile.WriteString(kSection, "StopBits", text);
    log.Close();
}

}  // namespace tolvan::app
