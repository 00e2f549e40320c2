#include "platform/ticks.h"

#include <poll.h>
#include <cerrno>
#include <algorithm>
#include <time.h>

#include <thread>

#include "platform/server_lock.h"

namespace tolvan::plat {

namespace {

RealTickSource g_real;
std::atomic<TickSource*> g_source{&g_real};

enum class FdState { kQuiet, kReady, kBroken };

FdState PollFd(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return FdState::kQuiet;
    // A hung-up descriptor polls ready for ever: the caller's check finds out what
    // happened, and the wait sleeps its slice instead of spinning on it.
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return FdState::kBroken;
    return (p.revents & events) ? FdState::kReady : FdState::kQuiet;
}

}  // namespace

uint32_t RealTickSource::Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u +
                                 static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

bool RealTickSource::Pause(uint32_t ms, int fd, short events) {
    if (fd >= 0) {
        const FdState state = PollFd(fd, events, static_cast<int>(ms));
        if (state != FdState::kBroken) return state == FdState::kReady;
    }
    if (ms == 0) {
        std::this_thread::yield();
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return false;
}

FakeTickSource::FakeTickSource(uint32_t start, std::chrono::microseconds realPause)
    : now_(start), realPause_(realPause) {}

uint32_t FakeTickSource::Now() {
    return now_.load();
}

void FakeTickSource::Advance(uint32_t ms) {
    now_.fetch_add(ms);
}

bool FakeTickSource::Pause(uint32_t ms, int fd, short events) {
    bool ready = false;
    if (fd >= 0) {
        int realMs = static_cast<int>((realPause_.count() + 999) / 1000);
        ready = PollFd(fd, events, realMs) == FdState::kReady;
    } else if (realPause_.count() > 0) {
        std::this_thread::sleep_for(realPause_);
    } else {
        std::this_thread::yield();
    }
    if (!ready) Advance(ms);
    return ready;
}

TickSource& Ticks() {
    return *g_source.load();
}

void SetTickSource(TickSource* source) {
    g_source.store(source ? source : &g_real);
}

ScopedTickSource::ScopedTickSource(TickSource& source) : previous_(&Ticks()) {
    SetTickSource(&source);
}

ScopedTickSource::~ScopedTickSource() {
    SetTickSource(previous_);
}

uint32_t GetTickCount() {
    return Ticks().Now();
}

bool WaitFor(const std::function<bool()>& ready, uint32_t timeoutMs, int fd, short events) {
    TickSource& ticks = Ticks();
    const uint32_t start = ticks.Now();
    for (;;) {
        if (ready()) return true;
        const uint32_t elapsed = ticks.Now() - start;
        if (elapsed >= timeoutMs) return false;
        const uint32_t left = timeoutMs - elapsed;
        const uint32_t slice = std::min(left, fd >= 0 ? kFdSliceMs : kWaitSliceMs);
        ServerUnlockScope unlocked(LockRelease::kWait);
        ticks.Pause(slice, fd, events);
    }
}

void Sleep(uint32_t ms) {
    TickSource& ticks = Ticks();
    const uint32_t start = ticks.Now();
    ServerUnlockScope unlocked(LockRelease::kSleep);
    for (;;) {
        const uint32_t elapsed = ticks.Now() - start;
        if (elapsed >= ms) return;
        ticks.Pause(ms - elapsed, -1, 0);
    }
}

}  // namespace tolvan::plat
