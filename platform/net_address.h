// Reaching a serial port served over TCP: "host:port" addresses, a connect that cannot
// hang the server, and send/receive steps that return at once. Used by the socket://
// and rfc2217:// devices.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvan::plat {

struct NetAddress {
    std::string host;  // a name, an IPv4 address, or an IPv6 address without brackets
    uint16_t port = 0;
};

// "host:port", "1.2.3.4:port" or "[::1]:port"; the port 1..65535 in decimal. Anything
// else (missing host or port, port 0 or too large, stray characters) is refused.
bool ParseNetAddress(std::string_view text, NetAddress* out);

// How long a connect (name resolution included) may take before it gives up.
inline constexpr uint32_t kNetConnectTimeoutMs = 3000;

// Resolves and connects, trying each address of the name in turn, all within
// timeoutMs of real time (the server lock is released meanwhile). The socket is
// non-blocking, close-on-exec, with TCP_NODELAY. Returns the descriptor, or -1 with
// *error: ERROR_FILE_NOT_FOUND (unknown name, refused, unreachable), ERROR_TIMEOUT,
// or ERROR_GEN_FAILURE.
int ConnectTcp(const NetAddress& address, uint32_t timeoutMs, uint32_t* error);

// One non-blocking send (no SIGPIPE): *sent bytes went (possibly 0). Returns
// ERROR_SUCCESS, or ERROR_DEVICE_NOT_CONNECTED when the peer is gone.
uint32_t NetSend(int fd, const uint8_t* buf, uint32_t n, uint32_t* sent);
// One non-blocking receive: *got bytes came (0 when none are there). Returns
// ERROR_SUCCESS, or ERROR_DEVICE_NOT_CONNECTED when the peer closed or reset.
uint32_t NetReceive(int fd, uint8_t* buf, uint32_t n, uint32_t* got);
// True when nothing is left to read and the peer has closed or reset the connection.
bool NetPeerGone(int fd);
// Closes the connection after telling the peer so (a half close) and waiting, at most
// lingerMs, for it to close its side: a server that takes one connection per port is then
// free for the next open at once. What still arrives meanwhile is dropped. Returns at once:
// the wait runs in the background (platform/net_closer.h), and a connect to the same
// address waits for it first.
inline constexpr uint32_t kNetLingerMs = 300;
void NetCloseGracefully(int fd, uint32_t lingerMs = kNetLingerMs);
// Bytes received and not yet read, and bytes written and not yet acknowledged.
uint32_t NetInQueue(int fd);
uint32_t NetOutQueue(int fd);

}  // namespace tolvan::plat
