// Wake-ups for threads that sleep in poll() until another thread changes, under the server
// lock, what they wait for (bytes moved into a port's rings, a channel leaving). Each
// sleeper brings an event descriptor of its own (a Waker), so that no one resets a
// wake-up meant for another and a wake-up given while a sleeper was not yet asleep stays
// until it looks.
//
//   plat::Waker waker;                      // the sleeper's
//   plat::WakeEntry entry(waker);
//   entry.Watch(&port.Arrivals());           // under the server lock
//   waker.Clear(); if (!ready()) { unlock; poll(waker.Fd(), ...); lock; }
//   ... port: ring filled; arrivals_.WakeAll();   // under the server lock
#pragma once

#include <atomic>
#include <vector>

namespace tolvan::plat {

// An event descriptor, readable from Wake until Clear. Any thread.
class Waker {
public:
    Waker();  // Fd() is -1 when the system gives no descriptor: sleepers then use slices
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;

    int Fd() const { return fd_; }
    void Wake();
    void Clear();

private:
    int fd_;
    // Set from the first Wake to Clear: the many entries of one sleeper (a reactor's
    // waiters) write the descriptor once per sleep, not once each.
    std::atomic<bool> pending_{false};
};

class WakeList;

// One sleeper's place on a wake list.
class WakeEntry {
public:
    explicit WakeEntry(Waker& waker) : waker_(waker) {}
    ~WakeEntry();  // leaves its list (takes the server lock)
    WakeEntry(const WakeEntry&) = delete;
    WakeEntry& operator=(const WakeEntry&) = delete;

    // With the server lock held: from now on wakes with `list` (null: with none). A list
    // destroyed meanwhile is left behind without a word.
    void Watch(WakeList* list);
    WakeList* Watched() const { return list_; }
    // Any thread: true once after each WakeAll that reached this entry.
    bool TakeWoken() { return woken_.exchange(false); }

private:
    friend class WakeList;
    Waker& waker_;
    WakeList* list_ = nullptr;  // server lock
    std::atomic<bool> woken_{false};
};

class WakeList {
public:
    WakeList() = default;
    ~WakeList();  // every entry forgets it (takes the server lock)
    WakeList(const WakeList&) = delete;
    WakeList& operator=(const WakeList&) = delete;

    // With the server lock held, after the change: wakes every entry's waker.
    void WakeAll();
    bool Empty() const { return entries_.empty(); }

private:
    friend class WakeEntry;
    std::vector<WakeEntry*> entries_;  // server lock
};

}  // namespace tolvan::plat
