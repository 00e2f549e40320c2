// The target file of an XMODEM reception: created anew and held exclusively while the
// reception runs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tolvan {

class XModemFile {
public:
    XModemFile() = default;
    ~XModemFile();
    XModemFile(const XModemFile&) = delete;
    XModemFile& operator=(const XModemFile&) = delete;
    XModemFile(XModemFile&& other) noexcept;
    XModemFile& operator=(XModemFile&& other) noexcept;

    // Creates `path` for writing; an existing regular file is emptied. Fails (false)
    // when the file cannot be created or another opener holds it exclusively.
    bool Create(const std::string& path);

    bool IsOpen() const { return fd_ >= 0; }

    // Writes all of `data` at the current end; false when not all of it could be written.
    bool Write(std::span<const uint8_t> data);

    // Cuts the file to `length` bytes when it is longer; never lengthens it (that would
    // add bytes the sender never sent). False when the cut fails.
    bool CutTo(int64_t length);

    // Closes the file; false when the close reported an error. Harmless when not open.
    bool Close();

private:
    int fd_ = -1;
};

}  // namespace tolvan
