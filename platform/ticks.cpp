#include "platform/ticks.h"

#include <poll.h>
#include <cerrno>
#include <algorithm>
#include <time.h>

#include <thread>

#include "platform/server_lock.h"
#include "platform/wake_list.h"

#include <memory>

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

// fd (when >= 0) and an event descriptor together. kBroken: fd hung up (nothing else
// ready), so that the caller goes on with the wake-up alone instead of spinning.
FdState PollWake(int fd, short events, int wakeFd, const timespec& timeout) {
    pollfd p[2] = {{wakeFd, POLLIN, 0}, {fd, events, 0}};
    const nfds_t n = fd >= 0 ? 2 : 1;
    int r;
    do {
        r = ::ppoll(p, n, &timeout, nullptr);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return FdState::kQuiet;
    if (p[0].revents & POLLIN) return FdState::kReady;
    if (n == 2 && (p[1].revents & (POLLHUP | POLLERR | POLLNVAL))) return FdState::kBroken;
    return (n == 2 && (p[1].revents & events)) ? FdState::kReady : FdState::kQuiet;
}

timespec Millis(uint32_t ms) {
    return {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
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

bool RealTickSource::PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) {
    if (wakeFd < 0) return Pause(ms, fd, events);
    const uint32_t start = Now();
    const FdState state = PollWake(fd, events, wakeFd, Millis(ms));
    if (state != FdState::kBroken) return state == FdState::kReady;
    const uint32_t elapsed = Now() - start;
    return elapsed < ms && PollWake(-1, 0, wakeFd, Millis(ms - elapsed)) == FdState::kReady;
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

bool FakeTickSource::PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) {
    if (wakeFd < 0) return Pause(ms, fd, events);
    const auto us = realPause_.count();
    const timespec real{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000L};
    for (uint32_t left = ms;;) {
        const uint32_t step = std::min(left, kWaitSliceMs);
        if (PollWake(fd, events, wakeFd, real) == FdState::kReady) return true;
        if (us == 0) std::this_thread::yield();
        Advance(step);
        left -= step;
        if (left == 0) return false;
    }
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

bool WaitFor(const std::function<bool()>& ready, uint32_t timeoutMs,
             const std::function<WaitTarget()>& target) {
    // The check, the clearing of the wake-up and the watch happen under one hold of the
    // server lock (taken here for a caller without it), so no change slips between them.
    ServerLockGuard held;
    TickSource& ticks = Ticks();
    const uint32_t start = ticks.Now();
    // Made at the first sleep with a wake list, one for this wait: a wait nested in a
    // hook or a predicate must not take this one's wake-up.
    std::unique_ptr<Waker> waker;
    std::unique_ptr<WakeEntry> entry;
    for (;;) {
        // Cleared before the check, both under the server lock: a change after the check
        // leaves the wake-up set for the sleep.
        if (waker) waker->Clear();
        if (ready()) return true;
        const uint32_t elapsed = ticks.Now() - start;
        if (elapsed >= timeoutMs) return false;
        const uint32_t left = timeoutMs - elapsed;
        const WaitTarget on = target();
        if (on.wakes != nullptr && !waker) {
            waker = std::make_unique<Waker>();
            entry = std::make_unique<WakeEntry>(*waker);
        }
        if (entry) entry->Watch(on.wakes);
        const bool woken = on.wakes != nullptr && waker->Fd() >= 0;
        const uint32_t slice =
            woken ? left : std::min(left, on.fd >= 0 ? kFdSliceMs : kWaitSliceMs);
        ServerUnlockScope unlocked(LockRelease::kWait);
        if (woken)
            ticks.PauseOrWake(slice, on.fd, on.events, waker->Fd());
        else
            ticks.Pause(slice, on.fd, on.events);
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
