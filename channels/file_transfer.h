// XMODEM file reception on a channel: the start, the worker thread, progress and end
// reports, and the abort. One reception runs in the server at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "ports/xmodem_link.h"

namespace tolvan {

// Message number of transfer reports to the client's window.
constexpr uint32_t WM_XFER_PROGRESS = 2025;

// Name of the global atom a client adds to abort a running reception.
constexpr const char* kAbortXferAtom = "ABORTXFER";

// Receives the transfer reports addressed to a client's window: wParam 1 with the
// bytes acknowledged so far as lParam (progress), or the end status as wParam with
// lParam 0. Called on the transfer thread, without the server lock; the thread waits
// until the call returns.
class XferProgressSink {
public:
    virtual ~XferProgressSink() = default;
    virtual void XferProgress(int16_t window, int32_t wParam, int32_t lParam) = 0;
};

// Installs the sink that all receptions report to (null: reports are dropped). Returns the
// sink installed before.
std::shared_ptr<XferProgressSink> SetXferProgressSink(std::shared_ptr<XferProgressSink> sink);

// Installs a sink for its lifetime and puts the one before it back when it ends.
class ScopedXferProgressSink {
public:
    explicit ScopedXferProgressSink(std::shared_ptr<XferProgressSink> sink)
        : previous_(SetXferProgressSink(std::move(sink))) {}
    ~ScopedXferProgressSink() { SetXferProgressSink(std::move(previous_)); }
    ScopedXferProgressSink(const ScopedXferProgressSink&) = delete;
    ScopedXferProgressSink& operator=(const ScopedXferProgressSink&) = delete;

private:
    std::shared_ptr<XferProgressSink> previous_;
};

// Starts receiving `fileName` on `channel` and returns at once:
//   0     the transfer thread runs; it reports to `window` and ends with an end report;
//   -3    ("In use") a reception is already running in the server: nothing is touched;
//   -602  the file cannot be created (missing directory, no permission, held by
//         another opener);
//   -1    the thread cannot be started.
// `length` > 0: the file is cut to that length at the end (padding of the last block
// removed); otherwise it keeps the size received. The thread holds a reference on the
// channel until it ends. Called with the server lock held or not; the thread takes it
// itself around each channel operation.
int16_t ReceiveXModemFile(XModemLink& channel, const std::string& fileName, int32_t length,
                          int16_t window);

// Records an abort request in the channel. A reception running on that channel ends
// at its next step with CAN CAN and -605, as with the "ABORTXFER" atom.
void AbortXfert(XModemLink& channel);

// True from a successful ReceiveXModemFile until its thread has closed the file, just
// before the end report.
bool IsXModemReceptionRunning();

// Waits until every transfer thread has finished (server exit, tests). Call without the
// server lock. False when `limit` passed first.
bool WaitForXModemThreads(std::chrono::milliseconds limit);

}  // namespace tolvan
