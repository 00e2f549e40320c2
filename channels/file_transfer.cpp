#include "channels/file_transfer.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/atoms.h"
#include "platform/server_lock.h"
#include "ports/status_text.h"
#include "ports/xmodem_receiver.h"
#include "platform/ranked_mutex.h"

namespace tolvan {

namespace {

// Start/end bookkeeping of receptions. Never destroyed, so a thread finishing while the
// process exits finds it intact.
struct Control {
    plat::RankedMutex mutex{plat::LockRank::kFileTransfer};
    std::condition_variable_any threadsDone;
    bool running = false;  // the receive state belongs to a reception
    int liveThreads = 0;
    std::shared_ptr<XferProgressSink> sink;
};

Control& Ctl() {
    static Control* control = new Control;
    return *control;
}

void Report(int16_t window, int32_t wParam, int32_t lParam) {
    std::shared_ptr<XferProgressSink> sink;
    {
        std::lock_guard lock(Ctl().mutex);
        sink = Ctl().sink;
    }
    if (sink) sink->XferProgress(window, wParam, lParam);
}

// The channel as the transfer thread uses it: every operation under the server lock.
// The channel's timed reads wait through the platform wait function, which lets the
// lock go while they sleep.
class ServerLockedLink final : public XModemLink {
public:
    explicit ServerLockedLink(XModemLink& channel) : channel_(channel) {}

    int16_t WriteCharToPort(int16_t ch) override {
        plat::ServerLockGuard lock;
        return channel_.WriteCharToPort(ch);
    }
    int16_t ReadCharFromPortTimed(int32_t ms) override {
        plat::ServerLockGuard lock;
        return channel_.ReadCharFromPortTimed(ms);
    }
    int16_t ReadFromPortTimed(std::span<uint8_t> dest, int32_t ms) override {
        plat::ServerLockGuard lock;
        return channel_.ReadFromPortTimed(dest, ms);
    }
    void ClearRBuff() override {
        plat::ServerLockGuard lock;
        channel_.ClearRBuff();
    }
    bool IsConnected() override {
        plat::ServerLockGuard lock;
        return channel_.IsConnected();
    }
    int32_t GetAbortRequest() override {
        plat::ServerLockGuard lock;
        return channel_.GetAbortRequest();
    }
    void SetAbortRequest(int32_t value) override {
        plat::ServerLockGuard lock;
        channel_.SetAbortRequest(value);
    }
    void AddRef() override {
        plat::ServerLockGuard lock;
        channel_.AddRef();
    }
    void Release() override {
        plat::ServerLockGuard lock;
        channel_.Release();
    }

private:
    XModemLink& channel_;
};

// Runs the reception until its end; returns the end status. Touches the receive state
// only while the reception owns it.
int16_t RunReception(XModemLink& link, int32_t length, int16_t window) {
    XModemReceiveState& st = XModemState();
    if (!link.IsConnected()) return kStatusNotSetUp;

    st.errorCount = 0;
    st.expectedBlock = 1;
    int16_t sent = link.WriteCharToPort(kXmNAK);
    if (sent < 0) return sent;
    st.totalBytes = 0;
    st.lastHeader = 1;

    for (;;) {
        int16_t status = ReceiveBlock(link, st);
        if (status == kXferTooManyErrors || status == kXferInternalError ||
            status == kXferUserAbort)
            return status;
        // CAN CAN has told the sender to stop: waiting for more headers would only end
        // in -610 and hide the real cause.
        if (status == kXferFileIoError) return status;

        Report(window, 1, static_cast<int32_t>(st.totalBytes));

        if (plat::GlobalFindAtom(kAbortXferAtom) != 0 || link.GetAbortRequest() != 0) {
            link.WriteCharToPort(kXmCAN);
            link.WriteCharToPort(kXmCAN);
            return kXferUserAbort;
        }
        if (st.lastHeader == kXmEOT) {
            bool ok = length <= 0 || st.file.CutTo(length);
            ok = st.file.Close() && ok;
            return ok ? kStatusSuccess : kXferFileIoError;
        }
    }
}

void TransferThread(XModemLink* channel, int32_t length, int16_t window) {
    ServerLockedLink link(*channel);
    int16_t status = RunReception(link, length, window);

    XModemState().file.Close();
    {
        std::lock_guard lock(Ctl().mutex);
        Ctl().running = false;
    }
    Report(window, status, 0);

    link.Release();
    std::lock_guard lock(Ctl().mutex);
    --Ctl().liveThreads;
    Ctl().threadsDone.notify_all();
}

}  // namespace

std::shared_ptr<XferProgressSink> SetXferProgressSink(std::shared_ptr<XferProgressSink> sink) {
    std::lock_guard lock(Ctl().mutex);
    std::swap(Ctl().sink, sink);
    return sink;
}

int16_t ReceiveXModemFile(XModemLink& channel, const std::string& fileName, int32_t length,
                          int16_t window) {
    // The channel's steps below take the server lock; it ranks before the transfer count,
    // so it is taken first also when the caller (the window's lane) does not hold it.
    plat::ServerLockGuard server;
    std::lock_guard lock(Ctl().mutex);
    if (Ctl().running) return kStatusInUse;

    XModemReceiveState& st = XModemState();
    if (!st.file.Create(fileName)) return kXferCantOpenFile;

    // Cleared here rather than on the thread, so that an AbortXfert right after this
    // call cannot be lost to a thread that has not run yet.
    channel.SetAbortRequest(0);
    channel.AddRef();
    Ctl().running = true;
    ++Ctl().liveThreads;
    try {
        std::thread(TransferThread, &channel, length, window).detach();
    } catch (const std::system_error&) {
        Ctl().running = false;
        --Ctl().liveThreads;
        channel.Release();
        st.file.Close();
        return kStatusGeneralError;
    }
    return kStatusSuccess;
}

void AbortXfert(XModemLink& channel) {
    channel.SetAbortRequest(1);
}

bool IsXModemReceptionRunning() {
    std::lock_guard lock(Ctl().mutex);
    return Ctl().running;
}

bool WaitForXModemThreads(std::chrono::milliseconds limit) {
    std::unique_lock lock(Ctl().mutex);
    return Ctl().threadsDone.wait_for(lock, limit, [] { return Ctl().liveThreads == 0; });
}

}  // namespace tolvan
