// The millisecond tick count and the one wait function. Every wait of the port and
// channel code goes through WaitFor/Sleep: they sleep on a device (poll) and a wake-up that
// whoever changes the state wakes (platform/wake_list.h), or for a short slice between
// checks when there is none; they never spin, and release the server lock while sleeping. Tests
// install a FakeTickSource so that waits of seconds run at once.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace tolvan::plat {

class WakeList;

class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint32_t Now() = 0;
    // Sleeps up to ms, or less when fd (>= 0) becomes ready for `events` (poll events).
    // Returns true when fd became ready. A hung-up fd is not ready: the pause sleeps.
    virtual bool Pause(uint32_t ms, int fd, short events) = 0;
    // As Pause, and ends early too when wakeFd (an event descriptor, >= 0) becomes
    // readable; true then as well. Sources that only count time may leave it to Pause.
    virtual bool PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) {
        (void)wakeFd;
        return Pause(ms, fd, events);
    }
};

// The monotonic clock, real sleeps.
class RealTickSource final : public TickSource {
public:
    uint32_t Now() override;
    bool Pause(uint32_t ms, int fd, short events) override;
    bool PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) override;
};

// Time moves only when code waits: a pause of n ms adds n ms at once. A pause still
// looks at fd (without blocking) and, when realPause is set, blocks on it for up to that
// real time, so that a peer on another thread or process gets a chance to answer.
class FakeTickSource final : public TickSource {
public:
    explicit FakeTickSource(uint32_t start = 1000,
                            std::chrono::microseconds realPause = std::chrono::microseconds{0});
    uint32_t Now() override;
    bool Pause(uint32_t ms, int fd, short events) override;
    // Moves on in steps of kWaitSliceMs, each looking at both descriptors as Pause does at
    // fd, so that a peer gets as much real time per fake millisecond as with slices.
    bool PauseOrWake(uint32_t ms, int fd, short events, int wakeFd) override;
    void Advance(uint32_t ms);

private:
    std::atomic<uint32_t> now_;
    std::chrono::microseconds realPause_;
};

// The source in use (the real one unless replaced). Not owned.
TickSource& Ticks();
void SetTickSource(TickSource* source);  // nullptr: back to the real clock

// Installs a source for a scope (tests).
class ScopedTickSource {
public:
    explicit ScopedTickSource(TickSource& source);
    ~ScopedTickSource();
    ScopedTickSource(const ScopedTickSource&) = delete;
    ScopedTickSource& operator=(const ScopedTickSource&) = delete;

private:
    TickSource* previous_;
};

uint32_t GetTickCount();

// Longest sleep between two checks of WaitFor when there is no fd to sleep on.
inline constexpr uint32_t kWaitSliceMs = 2;
// Longest sleep on an fd between two checks (the condition may change without the fd).
inline constexpr uint32_t kFdSliceMs = 20;

// Waits until ready() is true or timeoutMs have passed on the tick source; ready() is
// called first, before any sleep, and with the server lock held as the caller held it.
// fd >= 0: sleeps in poll on fd for `events` between checks. Returns ready()'s last answer.
bool WaitFor(const std::function<bool()>& ready, uint32_t timeoutMs, int fd = -1,
             short events = 0x001 /*POLLIN*/);

// What a wait sleeps on between two checks: a descriptor (-1: none) and a list of
// wake-ups that whoever changes the waited-for state under the server lock wakes.
struct WaitTarget {
    int fd = -1;
    short events = 0x001;  // POLLIN
    WakeList* wakes = nullptr;
};
// As above, with what to sleep on asked anew before each sleep (a port may close or its
// device come back meanwhile). ready() and target() run with the server lock held, taken
// here when the caller does not hold it. With a wake list the wait sleeps until fd or a
// wake-up, for all the time left: no slices. Without one, as the other WaitFor.
bool WaitFor(const std::function<bool()>& ready, uint32_t timeoutMs,
             const std::function<WaitTarget()>& target);

// Sleeps ms on the tick source, with the server lock released.
void Sleep(uint32_t ms);

}  // namespace tolvan::plat
