#include "tests/support/pty_peer_runner.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tolvan::test {

PtyPeerRunner::PtyPeerRunner(int masterFd, Answer answer, std::function<void()> onHostGone)
    : masterFd_(masterFd), answer_(std::move(answer)), onHostGone_(std::move(onHostGone)) {
    if (masterFd_ < 0 || pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        healthy_ = false;
        return;
    }
    fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread([this] { Run(); });
}

PtyPeerRunner::~PtyPeerRunner() {
    Stop();
    for (int fd : wakeFds_)
        if (fd >= 0) close(fd);
}

void PtyPeerRunner::Stop() {
    if (!thread_.joinable()) return;
    const char c = 0;
    (void)!write(wakeFds_[1], &c, 1);
    thread_.join();
}

void PtyPeerRunner::Run() {
    std::vector<uint8_t> out;  // answer bytes the pty has not taken yet
    uint8_t buf[4096];
    for (;;) {
        pollfd fds[2] = {{wakeFds_[0], POLLIN, 0}, {masterFd_, POLLIN, 0}};
        if (!out.empty()) fds[1].events |= POLLOUT;
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            healthy_ = false;
            return;
        }
        if (fds[0].revents) return;
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(masterFd_, buf, sizeof buf);
            if (n > 0) {
                const auto answer = answer_(std::span<const uint8_t>(buf, static_cast<size_t>(n)));
                out.insert(out.end(), answer.begin(), answer.end());
            } else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                healthy_ = false;
                return;
            }
        }
        if (!out.empty() && (fds[1].revents & POLLOUT)) {
            const ssize_t n = write(masterFd_, out.data(), out.size());
            if (n > 0)
                out.erase(out.begin(), out.begin() + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) {
                healthy_ = false;
                return;
            }
        }
        if ((fds[1].revents & POLLHUP) && !(fds[1].revents & POLLIN)) {
            // Nobody holds the slave open: the host let go. Wait for it to come back (or
            // for Stop) without spinning.
            if (onHostGone_) onHostGone_();
            pollfd wake{wakeFds_[0], POLLIN, 0};
            if (poll(&wake, 1, 5) > 0) return;
        }
    }
}

}  // namespace tolvan::test
