#include "automation/wait_reactor.h"

#include "platform/server_lock.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tdbus {

namespace plat = tolvan::plat;

namespace {
// A waiter with nothing to wake it (no descriptor, no wake list) is tried this often.
constexpr auto kSlice = std::chrono::milliseconds(10);
}  // namespace

struct WaitReactor::Entry {
    Entry(Clock::time_point until, std::unique_ptr<Waiter> w, plat::Waker& arrivals)
        : deadline(until), waiter(std::move(w)), wakes(arrivals) {}
    Clock::time_point deadline;
    std::unique_ptr<Waiter> waiter;
    plat::WakeEntry wakes;
    int fd = -1;
    int brokenFd = -1;  // hung up: not slept on again while the waiter names it
    bool sliced = false;
    bool fresh = true;  // not yet tried here: its wake list is not watched yet
    bool fdReady = false;
    Clock::time_point tried;
};

WaitReactor::WaitReactor() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    thread_ = std::thread([this] { Run(); });
}

WaitReactor::~WaitReactor() {
    Stop();
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void WaitReactor::Wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) [[maybe_unused]]
        auto n = ::write(wakeFd_, &one, sizeof one);
}

void WaitReactor::Finish(Waiter& waiter, bool last) {
    {
        plat::ServerLockGuard guard;
        plat::WaitTarget unused;
        waiter.Try(last, unused);
    }
    waiter.Answer();
}

void WaitReactor::Add(Clock::time_point deadline, std::unique_ptr<Waiter> waiter) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            added_.push_back(std::make_unique<Entry>(deadline, std::move(waiter), arrivals_));
            ++waiting_;
            Wake();
            return;
        }
    }
    Finish(*waiter, true);
}

std::size_t WaitReactor::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

std::size_t WaitReactor::Rounds() const {
    std::lock_guard lock(mutex_);
    return rounds_;
}

void WaitReactor::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        Wake();
    }
    if (thread_.joinable()) thread_.join();
}

void WaitReactor::Run() {
    std::vector<std::unique_ptr<Entry>> entries;
    std::vector<pollfd> fds;
    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(mutex_);
            stopping = stopping_;
            for (auto& e : added_) entries.push_back(std::move(e));
            added_.clear();
        }
        if (stopping) {
            for (auto& e : entries) Finish(*e->waiter, true);
            entries.clear();
            std::lock_guard lock(mutex_);
            waiting_ = 0;
            return;
        }

        // Try whatever is due: new waiters, woken ones, readable ones, those out of time.
        Clock::time_point now = Clock::now();
        std::size_t done = 0;
        for (auto it = entries.begin(); it != entries.end();) {
            Entry& e = **it;
            const bool woken = e.wakes.TakeWoken();
            const bool last = now >= e.deadline;
            if (!(e.fresh || woken || e.fdReady || last || (e.sliced && now >= e.tried + kSlice))) {
                ++it;
                continue;
            }
            e.fresh = e.fdReady = false;
            e.tried = now;
            bool answered = false;
            {
                // The try and the watch under one hold of the lock: a change after the
                // try wakes the list watched.
                plat::ServerLockGuard guard;
                plat::WaitTarget sleep;
                answered = e.waiter->Try(last, sleep);
                if (!answered)
                    if (const auto next = e.waiter->NextDeadline()) e.deadline = *next;
                e.wakes.Watch(answered ? nullptr : sleep.wakes);
                if (sleep.fd != e.brokenFd) e.brokenFd = -1;
                e.fd = sleep.fd == e.brokenFd ? -1 : sleep.fd;
                e.sliced = sleep.wakes == nullptr && e.fd < 0;
            }
            if (!answered) {
                ++it;
                continue;
            }
            e.waiter->Answer();
            it = entries.erase(it);
            ++done;
        }
        if (done > 0) {
            std::lock_guard lock(mutex_);
            waiting_ -= done;
        }

        // Sleep until a deadline or slice, a descriptor, a wake-up or a new waiter.
        now = Clock::now();
        std::optional<Clock::time_point> until;
        fds.assign({{wakeFd_, POLLIN, 0}, {arrivals_.Fd(), POLLIN, 0}});
        for (const auto& entry : entries) {
            const Entry& e = *entry;
            until = std::min(until.value_or(e.deadline), e.deadline);
            if (e.sliced) until = std::min(*until, e.tried + kSlice);
            if (e.fd >= 0) fds.push_back({e.fd, POLLIN, 0});
        }
        int timeout = -1;
        if (until)
            timeout = static_cast<int>(std::max<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(*until - now).count(), 0));
        {
            std::lock_guard lock(mutex_);
            ++rounds_;
        }
        ::poll(fds.data(), fds.size(), timeout);
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        }
        // Before the entries are looked at: a wake-up after this is kept for the next sleep.
        arrivals_.Clear();
        std::size_t polled = 2;
        for (auto& e : entries) {
            if (e->fd < 0) continue;
            const short events = fds[polled++].revents;
            e->fdReady = events != 0;
            // A descriptor that keeps saying hung-up or error would wake us at once for
            // ever: its wake list (or slices) only, until the waiter names another.
            if (events & (POLLHUP | POLLERR | POLLNVAL)) e->brokenFd = e->fd;
        }
    }
}

}  // namespace tdbus
