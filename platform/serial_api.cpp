#include "platform/serial_api.h"

#include <poll.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/comm_device.h"
#include "platform/device_map.h"
#include "platform/ticks.h"
#include "platform/ranked_mutex.h"

namespace tolvan::plat {

namespace {

thread_local uint32_t t_lastError = ERROR_SUCCESS;

// One open handle. Its mutex is held only for steps that return at once, never across
// a wait (a waiting thread would otherwise block others that hold the server lock).
struct CommPort {
    RankedMutex mutex{LockRank::kCommPort};
    std::unique_ptr<CommDevice> device;
    std::string target;
    Dcb dcb{};
    CommTimeouts timeouts{};
    uint32_t eventMask = 0;
    uint32_t rxQueueSize = 4096;
    uint32_t txQueueSize = 4096;
    std::deque<uint8_t> pendingTx;  // written, not yet taken by the device
    uint32_t errors = 0;            // line errors seen while waiting, not yet reported
    bool closed = false;
    // Lines set by escape functions since the last SetCommState (-1: as the Dcb says), so
    // a device that comes back gets them again.
    int dtr = -1;
    int rts = -1;
    bool breakOn = false;
    // Moves pendingTx on while nobody calls: a device queue drains by itself, and bytes a
    // write accepted must reach the line even when no further call comes.
    std::thread drainer;
    bool draining = false;

    ~CommPort() {
        if (!drainer.joinable()) return;
        // The drainer may hold the last reference itself; it cannot wait for itself.
        if (drainer.get_id() == std::this_thread::get_id())
            drainer.detach();
        else
            drainer.join();
    }

    // Moves queued bytes on to the device as far as it takes them.
    uint32_t FlushPending() {
        while (!pendingTx.empty()) {
            uint8_t chunk[512];
            uint32_t n = 0;
            for (auto it = pendingTx.begin(); it != pendingTx.end() && n < sizeof chunk; ++it)
                chunk[n++] = *it;
            uint32_t written = 0;
            const uint32_t e = device->Write(chunk, n, &written);
            pendingTx.erase(pendingTx.begin(), pendingTx.begin() + written);
            if (e != ERROR_SUCCESS) return e;
            if (written < n) break;
        }
        return ERROR_SUCCESS;
    }

    uint32_t Query(uint32_t* in, uint32_t* out) {
        FlushPending();
        uint32_t e = 0;
        const uint32_t r = device->Query(&e, in, out);
        errors |= e;
        *out += static_cast<uint32_t>(pendingTx.size());
        return r;
    }
};

constexpr int kDrainRoundMs = 20;

void DrainPending(const std::shared_ptr<CommPort>& port, int fd) {
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, kDrainRoundMs);
        bool moved = false;
        {
            std::lock_guard lock(port->mutex);
            const size_t before = port->pendingTx.size();
            // A failing device is reported by the next call, not here.
            if (port->closed || before == 0 || port->FlushPending() != ERROR_SUCCESS ||
                port->pendingTx.empty()) {
                port->draining = false;
                return;
            }
            moved = port->pendingTx.size() < before;
        }
        // Writable but nothing taken: wait a round rather than spin.
        if (!moved) ::poll(nullptr, 0, kDrainRoundMs);
    }
}

// Called with the port's mutex held, after a write left bytes queued.
void StartDrainer(const std::shared_ptr<CommPort>& port, int fd) {
    if (port->draining || port->pendingTx.empty() || fd < 0) return;
    if (port->drainer.joinable()) port->drainer.join();  // the last one has already left
    port->draining = true;
    port->drainer = std::thread(DrainPending, port, fd);
}

RankedMutex g_tableMutex{LockRank::kCommTable};
std::map<CommHandle, std::shared_ptr<CommPort>> g_ports;
CommHandle g_nextHandle = 1;
std::string g_lockDir = "/var/lock";

std::shared_ptr<CommPort> Find(CommHandle h) {
    std::lock_guard lock(g_tableMutex);
    auto it = g_ports.find(h);
    return it == g_ports.end() ? nullptr : it->second;
}

bool Result(uint32_t error) {
    t_lastError = error;
    return error == ERROR_SUCCESS;
}

// Runs f(port) with the handle's mutex held; a closed or unknown handle fails.
template <typename F>
bool WithPort(CommHandle h, F&& f) {
    auto port = Find(h);
    if (!port) return Result(ERROR_INVALID_HANDLE);
    std::lock_guard lock(port->mutex);
    if (port->closed) return Result(ERROR_INVALID_HANDLE);
    return Result(f(*port));
}

// Something to read, or something to report (device gone, handle closed)?
bool InputReady(CommPort& port) {
    std::lock_guard lock(port.mutex);
    if (port.closed) return true;
    uint32_t in = 0, out = 0;
    return port.Query(&in, &out) != ERROR_SUCCESS || in > 0;
}

// All queued output taken by the device, or something to report?
bool OutputRoom(CommPort& port) {
    std::lock_guard lock(port.mutex);
    if (port.closed) return true;
    return port.FlushPending() != ERROR_SUCCESS || port.pendingTx.empty();
}

}  // namespace

uint32_t GetLastError() {
    return t_lastError;
}
void SetLastError(uint32_t error) {
    t_lastError = error;
}

void SetLockDirectory(const std::string& dir) {
    std::lock_guard lock(g_tableMutex);
    g_lockDir = dir;
}

std::string LockDirectory() {
    std::lock_guard lock(g_tableMutex);
    return g_lockDir;
}

CommHandle OpenComm(const std::string& name, bool /*overlapped*/) {
    std::string target = name;
    if (const int com = ParseComName(name); com > 0) {
        auto mapped = DeviceMap::Lookup(com);
        if (!mapped) {
            t_lastError = ERROR_FILE_NOT_FOUND;
            return kInvalidCommHandle;
        }
        target = *mapped;
    }
    uint32_t error = ERROR_FILE_NOT_FOUND;
    std::unique_ptr<CommDevice> device;
    if (target.rfind("loop://", 0) == 0 || target.rfind("sim://", 0) == 0) {
        device = OpenSimulatedDevice(target, &error);
    } else if (IsNetworkUrl(target)) {
        device = OpenNetworkDevice(target, &error);
    } else if (!target.empty() && target.find("://") == std::string::npos) {
        device = OpenTtyDevice(target, LockDirectory(), &error);
    }  // other URLs: a kind of device this build does not reach
    if (!device) {
        t_lastError = error;
        return kInvalidCommHandle;
    }
    auto port = std::make_shared<CommPort>();
    port->target = target;
    port->device = std::move(device);
    port->device->ReadState(&port->dcb);
    std::lock_guard lock(g_tableMutex);
    while (g_nextHandle <= 0 || g_ports.count(g_nextHandle)) {
        if (++g_nextHandle <= 0) g_nextHandle = 1;
    }
    const CommHandle h = g_nextHandle++;
    g_ports.emplace(h, std::move(port));
    t_lastError = ERROR_SUCCESS;
    return h;
}

bool CloseComm(CommHandle h) {
    std::shared_ptr<CommPort> port;
    {
        std::lock_guard lock(g_tableMutex);
        auto it = g_ports.find(h);
        if (it == g_ports.end()) return Result(ERROR_INVALID_HANDLE);
        port = std::move(it->second);
        g_ports.erase(it);
    }
    std::thread drainer;
    {
        std::lock_guard lock(port->mutex);
        port->closed = true;
        port->FlushPending();
        port->device->Close();
        drainer = std::move(port->drainer);
    }
    if (drainer.joinable()) drainer.join();
    return Result(ERROR_SUCCESS);
}

bool CommPresent(const std::string& name) {
    std::string target = name;
    if (const int com = ParseComName(name); com > 0) {
        auto mapped = DeviceMap::Lookup(com);
        if (!mapped) return false;
        target = *mapped;
    }
    bool wellFormed = false;
    if (IsNetworkUrl(target, &wellFormed)) return wellFormed;
    const CommHandle h = OpenComm(name, false);
    if (h == kInvalidCommHandle) return false;
    CloseComm(h);
    return true;
}

bool SetupComm(CommHandle h, uint32_t rxQueueSize, uint32_t txQueueSize) {
    return WithPort(h, [&](CommPort& p) {
        if (rxQueueSize == 0 || txQueueSize == 0) return ERROR_INVALID_PARAMETER;
        p.rxQueueSize = rxQueueSize;
        p.txQueueSize = txQueueSize;
        return ERROR_SUCCESS;
    });
}

bool GetCommState(CommHandle h, Dcb* dcb) {
    return WithPort(h, [&](CommPort& p) {
        *dcb = p.dcb;
        return ERROR_SUCCESS;
    });
}

bool SetCommState(CommHandle h, const Dcb& dcb) {
    return WithPort(h, [&](CommPort& p) {
        const uint32_t e = p.device->Apply(dcb);
        if (e == ERROR_SUCCESS) {
            p.dcb = dcb;
            p.dtr = p.rts = -1;
        }
        return e;
    });
}

bool GetCommMask(CommHandle h, uint32_t* mask) {
    return WithPort(h, [&](CommPort& p) {
        *mask = p.eventMask;
        return ERROR_SUCCESS;
    });
}

bool SetCommMask(CommHandle h, uint32_t mask) {
    return WithPort(h, [&](CommPort& p) {
        p.eventMask = mask;
        return ERROR_SUCCESS;
    });
}

bool GetCommTimeouts(CommHandle h, CommTimeouts* t) {
    return WithPort(h, [&](CommPort& p) {
        *t = p.timeouts;
        return ERROR_SUCCESS;
    });
}

bool SetCommTimeouts(CommHandle h, const CommTimeouts& t) {
    return WithPort(h, [&](CommPort& p) {
        p.timeouts = t;
        return ERROR_SUCCESS;
    });
}

bool ReadComm(CommHandle h, void* buf, uint32_t n, uint32_t* got) {
    *got = 0;
    auto port = Find(h);
    if (!port) return Result(ERROR_INVALID_HANDLE);
    auto* out = static_cast<uint8_t*>(buf);
    CommTimeouts t;
    int fd = -1;
    // One step: take what is there now.
    auto step = [&]() -> uint32_t {
        std::lock_guard lock(port->mutex);
        if (port->closed) return ERROR_OPERATION_ABORTED;
        port->FlushPending();
        uint32_t now = 0;
        const uint32_t e = port->device->Read(out + *got, n - *got, &now);
        *got += now;
        return e;
    };
    {
        std::lock_guard lock(port->mutex);
        if (port->closed) return Result(ERROR_INVALID_HANDLE);
        t = port->timeouts;
        // Readable when bytes arrive: the tty itself, or an in-process device's event
        // descriptor (a loop:// or sim:// device has no descriptor of its own).
        fd = port->device->ArrivalFd();
    }
    if (uint32_t e = step(); e != ERROR_SUCCESS || *got == n) return Result(e);

    const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0;
    if (immediate) return Result(ERROR_SUCCESS);
    // MAXDWORD interval and multiplier with a constant: return as soon as anything came,
    // waiting up to the constant for the first byte.
    const bool firstByte =
        t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
        t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
    const uint64_t total = firstByte ? t.ReadTotalTimeoutConstant
                                     : static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * n +
                                           t.ReadTotalTimeoutConstant;
    const bool bounded = total > 0;
    const uint32_t interval = (t.ReadIntervalTimeout == MAXDWORD || t.ReadIntervalTimeout == 0)
                                  ? 0
                                  : t.ReadIntervalTimeout;
    const uint32_t start = GetTickCount();
    uint32_t lastByte = start;
    for (;;) {
        if (firstByte && *got > 0) return Result(ERROR_SUCCESS);
        uint32_t limit = MAXDWORD;
        const uint32_t now = GetTickCount();
        if (bounded) {
            const uint64_t spent = now - start;
            if (spent >= total) return Result(ERROR_SUCCESS);
            limit = static_cast<uint32_t>(total - spent);
        }
        if (interval && *got > 0) {
            const uint32_t quiet = now - lastByte;
            if (quiet >= interval) return Result(ERROR_SUCCESS);
            limit = std::min(limit, interval - quiet);
        }
        // Unbounded reads wait in rounds, so a closed handle or a gone device ends them.
        WaitFor([&] { return InputReady(*port); }, std::min<uint32_t>(limit, 1000), fd, POLLIN);
        const uint32_t before = *got;
        if (uint32_t e = step(); e != ERROR_SUCCESS) return Result(e);
        if (*got == n) return Result(ERROR_SUCCESS);
        if (*got > before) lastByte = GetTickCount();
    }
}

bool WriteComm(CommHandle h, const void* buf, uint32_t n, uint32_t* written) {
    *written = 0;
    auto port = Find(h);
    if (!port) return Result(ERROR_INVALID_HANDLE);
    const auto* in = static_cast<const uint8_t*>(buf);
    CommTimeouts t;
    int fd = -1;
    {
        std::lock_guard lock(port->mutex);
        if (port->closed) return Result(ERROR_INVALID_HANDLE);
        t = port->timeouts;
        fd = port->device->PollFd();
        if (uint32_t e = port->FlushPending(); e != ERROR_SUCCESS) return Result(e);
        const bool timed = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
        if (!timed) {
            // Bytes go behind what is still queued, in order.
            uint32_t now = 0;
            if (port->pendingTx.empty()) {
                if (uint32_t e = port->device->Write(in, n, &now); e != ERROR_SUCCESS)
                    return Result(e);
            }
            port->pendingTx.insert(port->pendingTx.end(), in + now, in + n);
            StartDrainer(port, fd);
            *written = n;
            return Result(ERROR_SUCCESS);
        }
    }
    // Timed: hand the bytes over and wait until the device took them or time runs out.
    const uint64_t total =
        static_cast<uint64_t>(t.WriteTotalTimeoutMultiplier) * n + t.WriteTotalTimeoutConstant;
    {
        std::lock_guard lock(port->mutex);
        port->pendingTx.insert(port->pendingTx.end(), in, in + n);
    }
    WaitFor([&] { return OutputRoom(*port); },
            static_cast<uint32_t>(std::min<uint64_t>(total, MAXDWORD - 1)), fd, POLLOUT);
    std::lock_guard lock(port->mutex);
    if (port->closed) return Result(ERROR_OPERATION_ABORTED);
    const uint32_t e = port->FlushPending();
    const uint32_t left = static_cast<uint32_t>(std::min<size_t>(port->pendingTx.size(), n));
    // What did not go out in time is not sent later.
    port->pendingTx.erase(port->pendingTx.end() - left, port->pendingTx.end());
    *written = n - left;
    return Result(e);
}

bool ClearCommError(CommHandle h, uint32_t* errors, ComStat* stat) {
    return WithPort(h, [&](CommPort& p) {
        uint32_t in = 0, out = 0;
        const uint32_t e = p.Query(&in, &out);
        if (errors) *errors = p.errors;
        p.errors = 0;
        if (stat) {
            stat->cbInQue = in;
            stat->cbOutQue = out;
        }
        return e;
    });
}

bool PurgeComm(CommHandle h, uint32_t flags) {
    return WithPort(h, [&](CommPort& p) {
        const bool tx = flags & (PURGE_TXCLEAR | PURGE_TXABORT);
        const bool rx = flags & (PURGE_RXCLEAR | PURGE_RXABORT);
        if (tx) p.pendingTx.clear();
        return p.device->Purge(rx, tx);
    });
}

bool EscapeCommFunction(CommHandle h, uint32_t function) {
    return WithPort(h, [&](CommPort& p) -> uint32_t {
        uint32_t e = ERROR_SUCCESS;
        switch (function) {
            case SETDTR:
            case CLRDTR:
                e = p.device->SetLines(function == SETDTR ? 1 : 0, -1);
                if (e == ERROR_SUCCESS) p.dtr = function == SETDTR ? 1 : 0;
                return e;
            case SETRTS:
            case CLRRTS:
                e = p.device->SetLines(-1, function == SETRTS ? 1 : 0);
                if (e == ERROR_SUCCESS) p.rts = function == SETRTS ? 1 : 0;
                return e;
            case SETBREAK:
            case CLRBREAK:
                e = p.device->SetBreak(function == SETBREAK);
                if (e == ERROR_SUCCESS) p.breakOn = function == SETBREAK;
                return e;
            case SETXON:
                return p.device->Flow(true);
            case SETXOFF:
                return p.device->Flow(false);
            default:
                return ERROR_INVALID_PARAMETER;
        }
    });
}

bool ReopenComm(CommHandle h) {
    return WithPort(h, [&](CommPort& p) -> uint32_t {
        if (const uint32_t e = p.device->Reopen(); e != ERROR_SUCCESS) return e;
        // Bytes queued for the device that went away are not sent to the one that came.
        p.pendingTx.clear();
        p.errors = 0;
        if (const uint32_t e = p.device->Apply(p.dcb); e != ERROR_SUCCESS) return e;
        if (p.dtr >= 0 || p.rts >= 0) p.device->SetLines(p.dtr, p.rts);
        if (p.breakOn) p.device->SetBreak(true);
        return ERROR_SUCCESS;
    });
}

bool SetCommBreak(CommHandle h) {
    return EscapeCommFunction(h, SETBREAK);
}
bool ClearCommBreak(CommHandle h) {
    return EscapeCommFunction(h, CLRBREAK);
}

bool GetCommModemStatus(CommHandle h, uint32_t* status) {
    *status = 0;
    return WithPort(h, [&](CommPort& p) { return p.device->ModemStatus(status); });
}

int CommPollFd(CommHandle h) {
    auto port = Find(h);
    if (!port) return -1;
    std::lock_guard lock(port->mutex);
    return port->closed ? -1 : port->device->PollFd();
}

int CommArrivalFd(CommHandle h) {
    auto port = Find(h);
    if (!port) return -1;
    std::lock_guard lock(port->mutex);
    return port->closed ? -1 : port->device->ArrivalFd();
}

std::string CommTarget(CommHandle h) {
    auto port = Find(h);
    if (!port) return {};
    std::lock_guard lock(port->mutex);
    return port->target;
}

bool CommDeviceGone(CommHandle h) {
    auto port = Find(h);
    if (!port) return false;
    std::lock_guard lock(port->mutex);
    if (port->closed) return false;
    uint32_t in = 0, out = 0;
    return port->Query(&in, &out) == ERROR_DEVICE_NOT_CONNECTED;
}

}  // namespace tolvan::plat
