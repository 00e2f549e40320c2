// A serial port served as raw TCP, and the way in to the network devices.
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "platform/comm_device.h"
#include "platform/net_address.h"
#include "platform/net_comm_device.h"
#include "platform/net_device.h"
#include "platform/termios_compose.h"

namespace tolvan::plat {

namespace {

class SocketDevice final : public NetCommDevice {
public:
    using NetCommDevice::NetCommDevice;

    uint32_t Read(uint8_t* buf, uint32_t n, uint32_t* got) override {
        *got = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        return Lost(NetReceive(fd_, buf, n, got));
    }

    uint32_t Write(const uint8_t* buf, uint32_t n, uint32_t* written) override {
        *written = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        if (suspended_) return ERROR_SUCCESS;
        return Lost(NetSend(fd_, buf, n, written));
    }

    uint32_t Query(uint32_t* errors, uint32_t* inQueue, uint32_t* outQueue) override {
        *errors = 0;
        *inQueue = 0;
        *outQueue = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        const uint32_t in = NetInQueue(fd_);
        // Nothing to read and the peer hung up: the port is gone.
        if (in == 0 && NetPeerGone(fd_)) return Lost(ERROR_DEVICE_NOT_CONNECTED);
        *inQueue = in;
        *outQueue = NetOutQueue(fd_);
        return ERROR_SUCCESS;
    }

    // The far side's line is not ours to set; values a tty would refuse are refused.
    uint32_t Apply(const Dcb& dcb) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        ComposedTermios c;
        if (uint32_t e = ComposeTermios(termios{}, dcb, &c); e != ERROR_SUCCESS) return e;
        dcb_ = dcb;
        return ERROR_SUCCESS;
    }

    uint32_t SetLines(int, int) override {
        return gone_ ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS;
    }
    uint32_t SetBreak(bool) override { return gone_ ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS; }

    // A live connection stands for a device that is present and ready.
    uint32_t ModemStatus(uint32_t* ms) override {
        *ms = 0;
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        *ms = MS_CTS_ON | MS_DSR_ON | MS_RLSD_ON;
        return ERROR_SUCCESS;
    }

    // Received bytes are dropped: those the socket holds now, not what a peer that keeps
    // sending has on its way (the purge must end). What the kernel already sends cannot be
    // called back.
    uint32_t Purge(bool rx, bool) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        if (!rx) return ERROR_SUCCESS;
        uint8_t scratch[4096];
        for (uint32_t queued = NetInQueue(fd_); queued > 0;) {
            uint32_t got = 0;
            // A peer that went away shows on the next call.
            if (NetReceive(fd_, scratch, std::min<uint32_t>(queued, sizeof scratch), &got) !=
                    ERROR_SUCCESS ||
                got == 0)
                break;
            queued -= got;
        }
        return ERROR_SUCCESS;
    }

    uint32_t Flow(bool resume) override {
        if (gone_) return ERROR_DEVICE_NOT_CONNECTED;
        suspended_ = !resume;
        return ERROR_SUCCESS;
    }
};

}  // namespace

std::unique_ptr<CommDevice> MakeSocketDevice(int fd) {
    return std::make_unique<SocketDevice>(fd);
}

namespace {

// Splits "socket://host:port" or "rfc2217://host:port"; false for any other text.
bool ParseNetworkUrl(const std::string& url, bool* raw, NetAddress* address) {
    static constexpr std::string_view kSocket = "socket://";
    static constexpr std::string_view kRfc2217 = "rfc2217://";
    *raw = url.rfind(kSocket, 0) == 0;
    const bool telnet = url.rfind(kRfc2217, 0) == 0;
    return (*raw || telnet) &&
           ParseNetAddress(std::string_view(url).substr(*raw ? kSocket.size() : kRfc2217.size()),
                           address);
}

}  // namespace

bool IsNetworkUrl(const std::string& url, bool* wellFormed) {
    bool raw = false;
    NetAddress address;
    const bool ok = ParseNetworkUrl(url, &raw, &address);
    if (wellFormed != nullptr) *wellFormed = ok;
    return ok || url.rfind("socket://", 0) == 0 || url.rfind("rfc2217://", 0) == 0;
}

std::unique_ptr<CommDevice> OpenNetworkDevice(const std::string& url, uint32_t* error) {
    bool raw = false;
    NetAddress address;
    if (!ParseNetworkUrl(url, &raw, &address)) {
        *error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    const int fd = ConnectTcp(address, kNetConnectTimeoutMs, error);
    if (fd < 0) return nullptr;
    *error = ERROR_SUCCESS;
    return raw ? MakeSocketDevice(fd) : MakeRfc2217Device(fd);
}

}  // namespace tolvan::plat
