#include "platform/wake_list.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "platform/server_lock.h"

namespace tolvan::plat {

Waker::Waker() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Waker::~Waker() {
    if (fd_ >= 0) ::close(fd_);
}

void Waker::Wake() {
    if (pending_.exchange(true)) return;
    const std::uint64_t one = 1;
    if (fd_ >= 0) [[maybe_unused]]
        const ssize_t n = ::write(fd_, &one, sizeof one);
}

void Waker::Clear() {
    std::uint64_t count = 0;
    if (fd_ >= 0) [[maybe_unused]]
        const ssize_t n = ::read(fd_, &count, sizeof count);
    // After the read: a Wake in between, which wrote nothing, changed its state before
    // it woke, and the sleeper looks at the state after Clear.
    pending_.store(false);
}

WakeEntry::~WakeEntry() {
    ServerLockGuard guard;
    Watch(nullptr);
}

void WakeEntry::Watch(WakeList* list) {
    if (list == list_) return;
    if (list_ != nullptr) {
        auto& entries = list_->entries_;
        entries.erase(std::remove(entries.begin(), entries.end(), this), entries.end());
    }
    list_ = list;
    if (list_ != nullptr) list_->entries_.push_back(this);
}

WakeList::~WakeList() {
    ServerLockGuard guard;
    for (WakeEntry* e : entries_) {
        e->list_ = nullptr;
        // Whatever it waited for went with the list: it looks again.
        e->woken_.store(true);
        e->waker_.Wake();
    }
}

void WakeList::WakeAll() {
    for (WakeEntry* e : entries_) {
        e->woken_.store(true);
        e->waker_.Wake();
    }
}

}  // namespace tolvan::plat
