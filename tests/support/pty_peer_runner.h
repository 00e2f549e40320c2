// Plays a simulated peer (a modem, an infra-red transceiver) on the master side of a pty
// from a thread of its own, so the code under test meets it through a real tty (the pty's
// slave path). The peer turns the bytes the host wrote into its answer.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <thread>
#include <vector>

namespace tolvan::test {

class PtyPeerRunner {
public:
    using Answer = std::function<std::vector<uint8_t>(std::span<const uint8_t> fromHost)>;

    // onHostGone runs each time the master sees nobody holding the slave side open.
    PtyPeerRunner(int masterFd, Answer answer, std::function<void()> onHostGone = {});
    ~PtyPeerRunner();  // stops the thread
    PtyPeerRunner(const PtyPeerRunner&) = delete;
    PtyPeerRunner& operator=(const PtyPeerRunner&) = delete;

    void Stop();
    // False once the thread met an error on the master (other than the host closing).
    bool Healthy() const { return healthy_; }

private:
    void Run();

    int masterFd_;
    Answer answer_;
    std::function<void()> onHostGone_;
    int wakeFds_[2] = {-1, -1};
    std::atomic<bool> healthy_{true};
    std::thread thread_;
};

}  // namespace tolvan::test
