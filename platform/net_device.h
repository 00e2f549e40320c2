// The devices behind network URLs, on a connected TCP socket they take over. Internal to
// the platform layer; OpenNetworkDevice (comm_device.h) is the way in.
#pragma once

#include <memory>

#include "platform/comm_device.h"

namespace tolvan::plat {

// Raw TCP: bytes go and come as they are; settings and lines are kept, not sent.
std::unique_ptr<CommDevice> MakeSocketDevice(int fd);
// Telnet with binary transmission and the com-port option: settings, lines, break,
// purges and modem state travel as option sub-negotiations.
std::unique_ptr<CommDevice> MakeRfc2217Device(int fd);

}  // namespace tolvan::plat
