#include "tests/support/tcp_peer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tolvan::test {

TcpPeer::TcpPeer(int receiveBuffer) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) {
        ADD_FAILURE() << "socket: " << errno;
        return;
    }
    // Accepted connections inherit the buffer size; it must be set before listening.
    if (receiveBuffer > 0)
        ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ADD_FAILURE() << "listen: " << errno;
        return;
    }
    port_ = ntohs(a.sin_port);
}

TcpPeer::~TcpPeer() {
    if (conn_ >= 0) ::close(conn_);
    if (listener_ >= 0) ::close(listener_);
}

std::string TcpPeer::Url(const std::string& scheme) const {
    return scheme + "://127.0.0.1:" + std::to_string(port_);
}

bool TcpPeer::Accept(int timeoutMs) {
    if (conn_ >= 0) ::close(conn_);
    conn_ = -1;
    for (int wait = timeoutMs;; wait = 0) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, wait) <= 0) break;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;
        if (conn_ >= 0) ::close(conn_);
        conn_ = fd;
    }
    return conn_ >= 0;
}

bool TcpPeer::Send(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::send(conn_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

std::vector<uint8_t> TcpPeer::Read(size_t n, int timeoutMs, size_t piece) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> buf(std::max<size_t>(piece, 1));
    while (out.size() < n) {
        pollfd p{conn_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        const ssize_t r = ::recv(conn_, buf.data(), std::min(buf.size(), n - out.size()), 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        out.insert(out.end(), buf.begin(), buf.begin() + r);
    }
    return out;
}

std::vector<uint8_t> TcpPeer::ReadAvailable(int quietMs) {
    return Read(static_cast<size_t>(-1) / 2, quietMs);
}

void TcpPeer::Hangup(bool reset) {
    if (conn_ < 0) return;
    if (reset) {
        const linger l{1, 0};
        ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(conn_);
    conn_ = -1;
}

std::vector<uint8_t> TelnetEscaped(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (uint8_t b : data) {
        out.push_back(b);
        if (b == 0xFF) out.push_back(0xFF);
    }
    return out;
}

bool ContainsRun(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

int CountRuns(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    int count = 0;
    auto it = haystack.begin();
    while ((it = std::search(it, haystack.end(), needle.begin(), needle.end())) != haystack.end()) {
        ++count;
        it += static_cast<std::ptrdiff_t>(needle.size());
    }
    return count;
}

}  // namespace tolvan::test
