// The far end of a network serial port in tests: a TCP listener on 127.0.0.1 (port chosen
// by the system) whose connections the test accepts and talks over by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tolvan::test {

class TcpPeer {
public:
    // receiveBuffer > 0: a small receive buffer for accepted connections, so that a writer
    // on the other side meets back-pressure. Fails the current test when no listener can
    // be had.
    explicit TcpPeer(int receiveBuffer = 0);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    uint16_t port() const { return port_; }
    // "<scheme>://127.0.0.1:<port>"
    std::string Url(const std::string& scheme) const;

    // Takes the newest connection waiting, closing the one before and any older ones (a
    // port is opened more than once on its way up). False when none came in time.
    bool Accept(int timeoutMs = 2000);
    // Writes all bytes to the connection; false on failure.
    bool Send(const std::vector<uint8_t>& bytes);
    // Reads until n bytes came or timeoutMs of real time passed without progress (poll,
    // no sleeping), at most `piece` bytes per read.
    std::vector<uint8_t> Read(size_t n, int timeoutMs = 2000, size_t piece = 65536);
    // Whatever arrives until the connection stays quiet for quietMs.
    std::vector<uint8_t> ReadAvailable(int quietMs = 50);
    // Ends the connection: an orderly close, or a reset (RST) when `reset`.
    void Hangup(bool reset = false);

private:
    int listener_ = -1;
    int conn_ = -1;
    uint16_t port_ = 0;
};

// Bytes as telnet carries them: every 0xFF doubled.
std::vector<uint8_t> TelnetEscaped(const std::vector<uint8_t>& data);
// True when `needle` occurs in `haystack` as a contiguous run.
bool ContainsRun(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle);
// How often `needle` occurs (runs may not overlap).
int CountRuns(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle);

}  // namespace tolvan::test
