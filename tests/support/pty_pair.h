// A pseudo-terminal for tests: both ends raw (cfmakeraw), closed on destruction. The
// slave's path is what the serial layer opens; the test plays the device on the master.
#pragma once

#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tolvan::test {

class PtyPair {
public:
    PtyPair();  // fails the current test (and leaves master() -1) when no pty can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }
    // The slave end the pair keeps open (so the pty stays up while the code under test
    // opens and closes its own descriptor). -1 after CloseSlave.
    int slave() const { return slave_; }
    void CloseSlave();
    // Hangs up: closes the master, so the slave sees the device go away.
    void CloseMaster();

    // Writes all bytes to the master; false on failure.
    bool Write(const std::vector<uint8_t>& bytes);
    bool Write(const std::string& text);
    // Reads from the master until `n` bytes came or `timeoutMs` of real time passed
    // without progress (poll, no sleeping).
    std::vector<uint8_t> Read(size_t n, int timeoutMs = 2000);
    // Reads whatever arrives until the master stays quiet for `quietMs`.
    std::vector<uint8_t> ReadAvailable(int quietMs = 50);
    // The line settings the master sees (speed and stop bits follow the slave).
    termios MasterTermios() const;

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A temporary folder, removed with its contents on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace tolvan::test
