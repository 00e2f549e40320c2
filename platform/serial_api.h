// The serial device functions, over termios (real ttys), the in-process loopback
// (loop://) and simulated devices (sim://name). Every function is thread-safe; calls on
// one handle are serialised. Failures return false (or kInvalidCommHandle) and leave a
// number for GetLastError on the calling thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/comm_types.h"

namespace tolvan::plat {

uint32_t GetLastError();
void SetLastError(uint32_t error);

// Opens a COM device exclusively. `name` is "COMn", "\\.\COMn" (looked up in the device
// map), or directly a device path or URL ("/dev/ttyUSB0", "loop://", "sim://modem",
// "socket://host:port", "rfc2217://host:port").
// Errors: ERROR_FILE_NOT_FOUND (no such device, not a tty, device gone),
// ERROR_PATH_NOT_FOUND (COM number not in the map), ERROR_ACCESS_DENIED (held by another
// handle or process: flock, TIOCEXCL, or the /var/lock/LCK..name file of a live process).
// `overlapped` is accepted for the shape of the call; reads and writes never block
// beyond their time-outs either way. A new handle starts with the time-outs "return at
// once" (CommTimeouts{}) and a Dcb read from the device's current settings.
CommHandle OpenComm(const std::string& name, bool overlapped = false);
bool CloseComm(CommHandle h);
// True when `name` stands for a device there is: others are opened and closed again, but a
// port served over the network only needs a well-formed address - connecting to ask would
// hold the caller up to the connect time-out and take the port of a server that serves
// one connection at a time.
bool CommPresent(const std::string& name);

bool SetupComm(CommHandle h, uint32_t rxQueueSize, uint32_t txQueueSize);
bool GetCommState(CommHandle h, Dcb* dcb);
// Applies the whole block. ERROR_INVALID_PARAMETER when the device refuses a value
// (word length outside 5..8, a baud rate it does not take, ...); the handle then keeps
// its previous state.
bool SetCommState(CommHandle h, const Dcb& dcb);
bool GetCommMask(CommHandle h, uint32_t* mask);
bool SetCommMask(CommHandle h, uint32_t mask);
bool GetCommTimeouts(CommHandle h, CommTimeouts* t);
bool SetCommTimeouts(CommHandle h, const CommTimeouts& t);

// Reads up to n bytes, waiting per the handle's time-outs through the platform wait
// function (which releases the server lock). *got is set in every case. A device that
// went away fails with ERROR_DEVICE_NOT_CONNECTED.
bool ReadComm(CommHandle h, void* buf, uint32_t n, uint32_t* got);
// Writes n bytes. With zero write time-outs everything is taken: what the device cannot
// take now stays in the handle's transmit queue (counted in cbOutQue) and is sent as the
// device drains, on later calls on the handle. With write time-outs the call waits up to
// them and *written tells how much went out.
bool WriteComm(CommHandle h, const void* buf, uint32_t n, uint32_t* written);

// Error bits since the last call (CE_*) and queue counts. Also moves queued transmit
// bytes on. A device that went away fails with ERROR_DEVICE_NOT_CONNECTED.
bool ClearCommError(CommHandle h, uint32_t* errors, ComStat* stat);
bool PurgeComm(CommHandle h, uint32_t flags);
// SETDTR/CLRDTR/SETRTS/CLRRTS/SETBREAK/CLRBREAK/SETXON/SETXOFF. Devices without modem
// lines (ptys) take line changes as no-ops.
bool EscapeCommFunction(CommHandle h, uint32_t function);
bool SetCommBreak(CommHandle h);
bool ClearCommBreak(CommHandle h);
// MS_* bits; 0 on a device without modem lines.
bool GetCommModemStatus(CommHandle h, uint32_t* status);

// The file descriptor to poll for input on (real ttys), or -1 for in-process devices.
int CommPollFd(CommHandle h);
// The descriptor that polls readable while received bytes wait (CommPollFd for a tty, an
// event descriptor for in-process devices), or -1. A stream's reader thread sleeps on it.
int CommArrivalFd(CommHandle h);
// What the handle stands for ("/dev/ttyUSB0", "loop://", "sim://modem").
std::string CommTarget(CommHandle h);
// True when the handle's device went away (a hung-up pty, an unplugged adapter). Looks at
// the device now without taking anything from it: line errors and received bytes stay
// for the next ClearCommError and ReadComm. Does not touch GetLastError.
bool CommDeviceGone(CommHandle h);

// Opens the handle's device again at the same path after it went away and came back:
// the same handle and descriptor number (CommPollFd), the Dcb last set, the lines last set
// by escape functions, the time-outs and queue sizes. What was queued for the old device
// is dropped. Fails (the handle left as it was) while the device is not there or is held
// by another (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED), and with ERROR_INVALID_FUNCTION
// for devices that cannot come back this way (in-process and network devices).
bool ReopenComm(CommHandle h);

// Directory of the FHS lock files (default /var/lock). Tests point it elsewhere.
void SetLockDirectory(const std::string& dir);
std::string LockDirectory();

}  // namespace tolvan::plat
