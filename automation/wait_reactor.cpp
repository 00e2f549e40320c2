#include "automation/wait_reactor.h"

#include <algorithm>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace tdbus {

namespace {
// A waiter without a descriptor is tried this often; one with a descriptor at least this
// often too (a device may say nothing while a ring changes).
constexpr auto kSlice = std::chrono::milliseconds(10);
constexpr auto kFdSlice = std::chrono::milliseconds(100);
}  // namespace

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

void WaitReactor::Add(Clock::time_point deadline, int fd, Attempt attempt) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            added_.push_back({deadline, fd, std::move(attempt), Clock::now()});
            ++waiting_;
            Wake();
            return;
        }
    }
    attempt(true);
}

std::size_t WaitReactor::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_;
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
    std::vector<Waiter> waiters;
    std::vector<pollfd> fds;
    for (;;) {
        bool stopping = false;
        {
            std::lock_guard lock(mutex_);
            stopping = stopping_;
            for (Waiter& w : added_) waiters.push_back(std::move(w));
            added_.clear();
        }
        if (stopping) {
            for (Waiter& w : waiters) w.attempt(true);
            std::lock_guard lock(mutex_);
            waiting_ = 0;
            return;
        }

        // Sleep until the first deadline or slice, a descriptor or a new waiter.
        Clock::time_point now = Clock::now();
        Clock::time_point until = now + kFdSlice;
        fds.assign(1, {wakeFd_, POLLIN, 0});
        for (const Waiter& w : waiters) {
            until = std::min(until, w.deadline);
            until = std::min(until, w.tried + (w.fd >= 0 ? kFdSlice : kSlice));
            if (w.fd >= 0) fds.push_back({w.fd, POLLIN, 0});
        }
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0)));
        if (fds[0].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto n = ::read(wakeFd_, &count, sizeof count);
        }

        now = Clock::now();
        std::size_t polled = 1, done = 0;
        for (auto it = waiters.begin(); it != waiters.end();) {
            const short events = it->fd >= 0 ? fds[polled++].revents : 0;
            const bool last = now >= it->deadline;
            const bool due =
                last || events != 0 || now >= it->tried + (it->fd >= 0 ? kFdSlice : kSlice);
            if (!due) {
                ++it;
                continue;
            }
            it->tried = now;
            if (it->attempt(last)) {
                it = waiters.erase(it);
                ++done;
                continue;
            }
            // A descriptor that keeps saying hung-up or error would wake us at once for
            // ever: slices only from now on.
            if (events & (POLLHUP | POLLERR | POLLNVAL)) it->fd = -1;
            ++it;
        }
        if (done > 0) {
            std::lock_guard lock(mutex_);
            waiting_ -= done;
        }
    }
}

}  // namespace tdbus
