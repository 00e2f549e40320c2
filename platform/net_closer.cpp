#include "platform/net_closer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ranked_mutex.h"

namespace tolvan::plat {

namespace {

using Clock = std::chrono::steady_clock;

struct Lingering {
    int fd;
    std::string address;
    Clock::time_point deadline;
};

// One thread sleeps in poll on every lingering connection and on a wake-up descriptor for
// new ones; with nothing to do it sleeps without a time limit. Never destroyed: a close
// may be handed over while the process exits.
class Closer {
public:
    Closer() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        std::thread([this] { Run(); }).detach();
    }

    void Add(int fd, const std::string& address, uint32_t lingerMs) {
        {
            std::lock_guard lock(mutex_);
            list_.push_back({fd, address, Clock::now() + std::chrono::milliseconds(lingerMs)});
        }
        const uint64_t one = 1;
        if (wake_ < 0 || ::write(wake_, &one, sizeof one) < 0) {
            // No way to wake the thread: close at once rather than leave the connection.
            std::lock_guard lock(mutex_);
            Finish(list_.size() - 1, false);
        }
    }

    bool Wait(const std::string& address, uint32_t limitMs) {
        std::unique_lock lock(mutex_);
        return ended_.wait_for(lock, std::chrono::milliseconds(limitMs),
                               [&] { return !Lingers(address); });
    }

    int Count() {
        std::lock_guard lock(mutex_);
        return static_cast<int>(list_.size());
    }

    uint64_t EndedByPeer() {
        std::lock_guard lock(mutex_);
        return endedByPeer_;
    }

private:
    bool Lingers(const std::string& address) const {
        for (const Lingering& l : list_)
            if (l.address == address) return true;
        return false;
    }

    // With the mutex held.
    void Finish(size_t i, bool byPeer) {
        ::close(list_[i].fd);
        list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
        if (byPeer) ++endedByPeer_;
        ended_.notify_all();
    }

    void Run() {
        std::vector<pollfd> fds;
        for (;;) {
            int timeout = -1;
            {
                std::lock_guard lock(mutex_);
                fds.assign(1, pollfd{wake_, POLLIN, 0});
                const auto now = Clock::now();
                for (const Lingering& l : list_) {
                    fds.push_back({l.fd, POLLIN, 0});
                    const auto left =
                        std::chrono::duration_cast<std::chrono::milliseconds>(l.deadline - now)
                            .count();
                    const int ms = left > 0 ? static_cast<int>(left) : 0;
                    timeout = timeout < 0 ? ms : std::min(timeout, ms);
                }
            }
            if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) timeout = 10;
            uint64_t drained = 0;
            if (fds[0].revents & POLLIN) (void)!::read(wake_, &drained, sizeof drained);
            std::lock_guard lock(mutex_);
            const auto now = Clock::now();
            // Entries only ever join at the end, so the first fds.size() - 1 are those polled.
            for (size_t k = fds.size() - 1; k > 0; --k) {
                const size_t i = k - 1;
                if (i >= list_.size() || list_[i].fd != fds[k].fd) continue;
                bool peerDone = false;
                if (fds[k].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
                    uint8_t sink[512];
                    const ssize_t r = ::recv(list_[i].fd, sink, sizeof sink, MSG_DONTWAIT);
                    peerDone = r == 0 ||
                               (r < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK);
                }
                if (peerDone)
                    Finish(i, true);
                else if (now >= list_[i].deadline)
                    Finish(i, false);
            }
        }
    }

    const int wake_;
    RankedMutex mutex_{LockRank::kNetCloser};
    std::condition_variable_any ended_;
    std::vector<Lingering> list_;
    uint64_t endedByPeer_ = 0;
};

std::atomic<Closer*> g_closer{nullptr};

// Made on the first close handed over: a process that never closes a connection has no
// closing thread and no descriptor for it.
Closer& TheCloser() {
    static Closer* closer = [] {
        auto* c = new Closer;
        g_closer.store(c);
        return c;
    }();
    return *closer;
}

}  // namespace

void CloseWhenPeerDone(int fd, const std::string& address, uint32_t lingerMs) {
    if (fd < 0) return;
    TheCloser().Add(fd, address, lingerMs);
}

bool WaitForLingeringClose(const std::string& address, uint32_t limitMs) {
    Closer* closer = g_closer.load();
    return closer == nullptr || closer->Wait(address, limitMs);
}

int LingeringCloses() {
    Closer* closer = g_closer.load();
    return closer != nullptr ? closer->Count() : 0;
}

uint64_t ClosesEndedByPeer() {
    Closer* closer = g_closer.load();
    return closer != nullptr ? closer->EndedByPeer() : 0;
}

}  // namespace tolvan::plat
