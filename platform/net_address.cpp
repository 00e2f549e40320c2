#include "platform/net_address.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/comm_types.h"
#include "platform/net_closer.h"
#include "platform/ranked_mutex.h"
#include "platform/server_lock.h"

namespace tolvan::plat {

namespace {

using Clock = std::chrono::steady_clock;

bool ParsePort(std::string_view text, uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

bool PlainHost(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ' || u >= 0x7F || c == '/' || c == '[' || c == ']' || c == '@' || c == '?' ||
            c == '#')
            return false;
    }
    return true;
}

uint32_t ConnectError(int e) {
    switch (e) {
        case ECONNREFUSED:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case EHOSTDOWN:
        case EADDRNOTAVAIL:
        case EAFNOSUPPORT:
            return ERROR_FILE_NOT_FOUND;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        case ENOMEM:
        case ENOBUFS:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool PeerGoneErrno(int e) {
    return e == ECONNRESET || e == EPIPE || e == ENOTCONN || e == ETIMEDOUT || e == EHOSTUNREACH ||
           e == ENETUNREACH || e == ECONNABORTED || e == ESHUTDOWN;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

struct AddrInfoFree {
    void operator()(addrinfo* a) const {
        if (a) ::freeaddrinfo(a);
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoFree>;

// A name lookup on a thread of its own, so that a resolver that does not answer cannot
// hold the caller past its deadline. An abandoned lookup frees its result when it ends.
struct Lookup {
    RankedMutex mutex{LockRank::kNetLookup};
    std::condition_variable_any done;
    bool finished = false;
    bool abandoned = false;
    int rc = EAI_FAIL;
    addrinfo* list = nullptr;
};

uint32_t Resolve(const NetAddress& a, Clock::time_point deadline, AddrList* out) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    const std::string service = std::to_string(a.port);
    addrinfo* list = nullptr;
    if (::getaddrinfo(a.host.c_str(), service.c_str(), &hints, &list) == 0) {
        out->reset(list);
        return ERROR_SUCCESS;
    }
    hints.ai_flags = AI_NUMERICSERV;
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, hints, host = a.host, service] {
            addrinfo* found = nullptr;
            const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
            std::lock_guard lock(lookup->mutex);
            if (lookup->abandoned) {
                if (rc == 0) ::freeaddrinfo(found);
            } else {
                lookup->rc = rc;
                lookup->list = rc == 0 ? found : nullptr;
            }
            lookup->finished = true;
            lookup->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    ServerUnlockScope unlocked(LockRelease::kNetResolve);
    std::unique_lock lock(lookup->mutex);
    if (!lookup->done.wait_until(lock, deadline, [&] { return lookup->finished; })) {
        lookup->abandoned = true;
        return ERROR_TIMEOUT;
    }
    if (lookup->rc != 0)
        return lookup->rc == EAI_MEMORY ? ERROR_NOT_ENOUGH_MEMORY : ERROR_FILE_NOT_FOUND;
    out->reset(lookup->list);
    return ERROR_SUCCESS;
}

// The numeric "host:port" of a socket address, as the closer names connections.
std::string AddressKey(const sockaddr* sa, socklen_t length) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getnameinfo(sa, length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return {};
    return std::string(host) + ':' + service;
}

// One address: the connected descriptor, or -1 and *error.
int ConnectOne(const addrinfo& ai, Clock::time_point deadline, uint32_t* error) {
    // Our last connection to this address may still be closing: a server that takes one
    // connection per port would refuse us until it has.
    if (const std::string key = AddressKey(ai.ai_addr, ai.ai_addrlen); !key.empty()) {
        ServerUnlockScope unlocked(LockRelease::kNetLingeringClose);
        WaitForLingeringClose(key, static_cast<uint32_t>(RemainingMs(deadline)));
    }
    const int fd =
        ::socket(ai.ai_family, ai.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai.ai_protocol);
    if (fd < 0) {
        *error = ConnectError(errno);
        return -1;
    }
    int rc = ::connect(fd, ai.ai_addr, ai.ai_addrlen);
    int e = rc == 0 ? 0 : errno;
    if (rc != 0 && (e == EINPROGRESS || e == EINTR)) {
        ServerUnlockScope unlocked(LockRelease::kNetConnect);
        for (;;) {
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, RemainingMs(deadline));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) {
                e = ETIMEDOUT;
                break;
            }
            socklen_t len = sizeof e;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &len) != 0) e = errno;
            break;
        }
    }
    if (e != 0) {
        ::close(fd);
        *error = ConnectError(e);
        return -1;
    }
    // Serial traffic is small pieces that should leave at once.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    *error = ERROR_SUCCESS;
    return fd;
}

}  // namespace

bool ParseNetAddress(std::string_view text, NetAddress* out) {
    std::string_view host;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
        if (host.empty() || host.find(':') == std::string_view::npos) return false;
    } else {
        const size_t colon = text.find(':');
        if (colon == std::string_view::npos || text.find(':', colon + 1) != std::string_view::npos)
            return false;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    uint16_t number = 0;
    if (!ParsePort(port, &number)) return false;
    if (!PlainHost(host)) return false;
    out->host = std::string(host);
    out->port = number;
    return true;
}

int ConnectTcp(const NetAddress& address, uint32_t timeoutMs, uint32_t* error) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    AddrList list;
    if (uint32_t e = Resolve(address, deadline, &list); e != ERROR_SUCCESS) {
        *error = e;
        return -1;
    }
    *error = ERROR_FILE_NOT_FOUND;
    for (const addrinfo* ai = list.get(); ai; ai = ai->ai_next) {
        if (RemainingMs(deadline) == 0) {
            *error = ERROR_TIMEOUT;
            break;
        }
        if (const int fd = ConnectOne(*ai, deadline, error); fd >= 0) return fd;
    }
    return -1;
}

uint32_t NetSend(int fd, const uint8_t* buf, uint32_t n, uint32_t* sent) {
    *sent = 0;
    while (*sent < n) {
        const ssize_t r = ::send(fd, buf + *sent, n - *sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            *sent += static_cast<uint32_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ERROR_SUCCESS;
        if (r < 0 && PeerGoneErrno(errno)) return ERROR_DEVICE_NOT_CONNECTED;
        return ERROR_GEN_FAILURE;
    }
    return ERROR_SUCCESS;
}

uint32_t NetReceive(int fd, uint8_t* buf, uint32_t n, uint32_t* got) {
    *got = 0;
    if (n == 0) return ERROR_SUCCESS;
    for (;;) {
        const ssize_t r = ::recv(fd, buf, n, MSG_DONTWAIT);
        if (r > 0) {
            *got = static_cast<uint32_t>(r);
            return ERROR_SUCCESS;
        }
        if (r == 0) return ERROR_DEVICE_NOT_CONNECTED;  // orderly close by the peer
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ERROR_SUCCESS;
        return PeerGoneErrno(errno) ? ERROR_DEVICE_NOT_CONNECTED : ERROR_GEN_FAILURE;
    }
}

bool NetPeerGone(int fd) {
    uint8_t byte = 0;
    for (;;) {
        const ssize_t r = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (r > 0) return false;
        if (r == 0) return true;
        if (errno == EINTR) continue;
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
}

void NetCloseGracefully(int fd, uint32_t lingerMs) {
    if (fd < 0) return;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    std::string key;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0)
        key = AddressKey(reinterpret_cast<const sockaddr*>(&peer), length);
    if (::shutdown(fd, SHUT_WR) != 0 || key.empty()) {
        ::close(fd);
        return;
    }
    CloseWhenPeerDone(fd, key, lingerMs);
}

uint32_t NetInQueue(int fd) {
    int n = 0;
    return ::ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t NetOutQueue(int fd) {
    int n = 0;
    return ::ioctl(fd, SIOCOUTQ, &n) == 0 && n > 0 ? static_cast<uint32_t>(n) : 0;
}

}  // namespace tolvan::plat
