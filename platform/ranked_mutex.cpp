#include "platform/ranked_mutex.h"

#ifndef NDEBUG
#include <cstdio>
#include <cstdlib>

namespace tolvan::plat::lock_order {

namespace {

struct Held {
    const void* mutex;
    int rank;
};

// What this thread holds, in the order taken; a recursive mutex appears once per level.
// Plain storage, no destructor: mutexes are still taken by static destructors after the
// thread's own storage would be gone.
constexpr int kMaxHeld = 256;
thread_local Held t_held[kMaxHeld];
thread_local int t_count = 0;

void Push(const void* mutex, int rank) {
    if (t_count == kMaxHeld) {
        std::fprintf(stderr, "lock order: more than %d locks held\n", kMaxHeld);
        std::abort();
    }
    t_held[t_count++] = {mutex, rank};
}

[[noreturn]] void OutOfOrder(int rank, int held) {
    std::fprintf(stderr,
                 "lock order broken: a mutex of rank %d taken while one of rank %d is held "
                 "(see docs/threading.md)\n",
                 rank, held);
    std::abort();
}

}  // namespace

void Acquire(const void* mutex, LockRank rank, bool recursive) {
    const int r = static_cast<int>(rank);
    for (int i = 0; i < t_count; ++i) {
        if (t_held[i].mutex == mutex) {
            if (!recursive) OutOfOrder(r, t_held[i].rank);  // would deadlock on itself
            // Taken again: what was taken inside it since is still in order.
            Push(mutex, r);
            return;
        }
    }
    for (int i = 0; i < t_count; ++i) {
        if (t_held[i].rank >= r) OutOfOrder(r, t_held[i].rank);
    }
    Push(mutex, r);
}

void Acquired(const void* mutex, LockRank rank) {
    Push(mutex, static_cast<int>(rank));
}

void Release(const void* mutex) {
    for (int i = t_count - 1; i >= 0; --i) {
        if (t_held[i].mutex == mutex) {
            for (int j = i + 1; j < t_count; ++j) t_held[j - 1] = t_held[j];
            --t_count;
            return;
        }
    }
}

int HighestHeld() {
    int highest = 0;
    for (int i = 0; i < t_count; ++i) highest = t_held[i].rank > highest ? t_held[i].rank : highest;
    return highest;
}

}  // namespace tolvan::plat::lock_order
#endif
