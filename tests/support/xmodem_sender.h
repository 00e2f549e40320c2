// The sending side of XMODEM tests: a raw pty pair, the lrzsz sender `sx` running on
// the pty's master side, and helpers for scripting a sender by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <sys/types.h>
#include <tuple>
#include <vector>

#include "ports/xmodem_link.h"

namespace tolvan::test {

// A pty with both ends raw. The master is the sender's side, the slave ours.
class XModemPty {
public:
    XModemPty();
    ~XModemPty();
    XModemPty(const XModemPty&) = delete;
    XModemPty& operator=(const XModemPty&) = delete;

    int Master() const { return master_; }
    int Slave() const { return slave_; }
    // Writes all of `bytes` to the master (the sender's output).
    void SendFromMaster(std::span<const uint8_t> bytes) const;
    // The next `count` bytes the receiver sent, waiting for them as long as a test may
    // (they are short only when the test fails).
    std::vector<uint8_t> ReceiveAtMaster(size_t count) const;

private:
    int master_ = -1;
    int slave_ = -1;
};

// `sx` sending one file over the master side of `pty` (stdin and stdout on the master).
class SxSender {
public:
    SxSender(const XModemPty& pty, const std::string& path, bool oneK);
    ~SxSender();  // kills sx when it still runs
    SxSender(const SxSender&) = delete;
    SxSender& operator=(const SxSender&) = delete;

    // Waits for sx to end; its exit status, or -1 when it did not exit normally.
    int Wait();

private:
    pid_t pid_ = -1;
};

// One XMODEM block as a sender puts it on the wire: SOH (128 data bytes) or STX
// (1024), number, complement, data padded with 0x1A, checksum (+ `checksumDelta`).
std::vector<uint8_t> XmBlock(uint8_t number, std::span<const uint8_t> data, bool oneK = false,
                             uint8_t checksumDelta = 0);

// What the receiver has sent to the master so far, exactly: sends a marker byte through
// `link` (taking the server lock) and collects the master's bytes up to the marker.
std::vector<uint8_t> AnswersSoFar(const XModemPty& pty, XModemLink& link);

// Deterministic test data.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);
void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Names the cases of a test parameterised by (file size, 1024-byte blocks): "1025_1k".
inline std::string SizeAndBlockName(
    const ::testing::TestParamInfo<std::tuple<size_t, bool>>& info) {
    return std::to_string(std::get<0>(info.param)) + (std::get<1>(info.param) ? "_1k" : "_128");
}

// A fresh directory under the build tree, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace tolvan::test
