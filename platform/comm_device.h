// What the serial API needs of a device behind a handle: a real tty or a simulated one.
// Every call returns at once; waiting is the serial API's business. Results are
// last-error numbers (ERROR_SUCCESS when it worked). Internal to the platform layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/comm_types.h"

namespace tolvan::plat {

class CommDevice {
public:
    virtual ~CommDevice() = default;
    // Bytes read now (possibly 0). ERROR_DEVICE_NOT_CONNECTED when the device went away.
    virtual uint32_t Read(uint8_t* buf, uint32_t n, uint32_t* got) = 0;
    // Bytes the device took now (possibly fewer than n).
    virtual uint32_t Write(const uint8_t* buf, uint32_t n, uint32_t* written) = 0;
    // New line errors (CE_ bits) since the last query, and the queue counts.
    virtual uint32_t Query(uint32_t* errors, uint32_t* inQueue, uint32_t* outQueue) = 0;
    // The device's current settings as a Dcb (at open).
    virtual uint32_t ReadState(Dcb* dcb) = 0;
    virtual uint32_t Apply(const Dcb& dcb) = 0;
    // -1 leaves a line as it is.
    virtual uint32_t SetLines(int dtr, int rts) = 0;
    virtual uint32_t SetBreak(bool on) = 0;
    virtual uint32_t ModemStatus(uint32_t* ms) = 0;
    virtual uint32_t Purge(bool rx, bool tx) = 0;
    // Suspends (false) or resumes (true) output as if XOFF / XON had been received.
    virtual uint32_t Flow(bool resume) = 0;
    // A descriptor that polls readable when input arrives (or writable when output
    // drains), or -1.
    virtual int PollFd() const { return -1; }
    // A descriptor that polls readable while received bytes wait to be read: PollFd for a
    // tty, an event descriptor for an in-process device; -1 when there is none.
    virtual int ArrivalFd() const { return PollFd(); }
    virtual void Close() = 0;
    // Opens the device again at the path it was opened by, after it went away and came
    // back, keeping the descriptor number PollFd gave (so waits and watchers that hold it
    // go on with the new device). The settings are the caller's to apply again.
    // ERROR_INVALID_FUNCTION for devices that cannot come back this way.
    virtual uint32_t Reopen() { return ERROR_INVALID_FUNCTION; }
};

// Opens a tty device path exclusively (flock, TIOCEXCL, lock file in lockDir).
std::unique_ptr<CommDevice> OpenTtyDevice(const std::string& path, const std::string& lockDir,
                                          uint32_t* error);
// Opens "sim://name" or "loop://name".
std::unique_ptr<CommDevice> OpenSimulatedDevice(const std::string& url, uint32_t* error);
// Opens "socket://host:port" (raw TCP) or "rfc2217://host:port" (telnet with the
// com-port option) within a bounded time. ERROR_FILE_NOT_FOUND for a malformed address,
// an unknown host, or a refused or unreachable one; ERROR_TIMEOUT when it did not answer.
std::unique_ptr<CommDevice> OpenNetworkDevice(const std::string& url, uint32_t* error);
// True for "socket://" and "rfc2217://" URLs; *wellFormed tells whether the address parses.
bool IsNetworkUrl(const std::string& url, bool* wellFormed = nullptr);

}  // namespace tolvan::plat
