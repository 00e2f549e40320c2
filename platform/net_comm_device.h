// What the network devices share: the connected socket they own and close gracefully once
// (by Close or when the device goes), the mark that the peer is gone, the settings as last
// applied and the output hold of a flow stop. Internal to the platform layer.
#pragma once

#include "platform/comm_device.h"
#include "platform/net_address.h"

namespace tolvan::plat {

class NetCommDevice : public CommDevice {
public:
    explicit NetCommDevice(int fd) : fd_(fd) {}
    ~NetCommDevice() override { NetCommDevice::Close(); }
    NetCommDevice(const NetCommDevice&) = delete;
    NetCommDevice& operator=(const NetCommDevice&) = delete;

    uint32_t ReadState(Dcb* dcb) final {
        *dcb = dcb_;
        return ERROR_SUCCESS;
    }

    int PollFd() const final { return fd_; }

    void Close() final {
        if (fd_ < 0) return;
        NetCloseGracefully(fd_);
        fd_ = -1;
        gone_ = true;
    }

protected:
    // Passes a result on; a peer that went away marks the device gone for every later call.
    uint32_t Lost(uint32_t e) {
        if (e == ERROR_DEVICE_NOT_CONNECTED) gone_ = true;
        return e;
    }

    int fd_;
    bool gone_ = false;
    bool suspended_ = false;  // output held as if XOFF had come
    Dcb dcb_{};
};

}  // namespace tolvan::plat
