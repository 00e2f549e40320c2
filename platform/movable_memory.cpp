#include "platform/movable_memory.h"
#include "platform/ranked_mutex.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace tolvan::plat {

namespace {

struct Block {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
    uint32_t locks = 0;
};

// A pass-then-fail counter for injected failures.
struct FaultPlan {
    int pass = 0;
    int fail = 0;
    bool Fires() {
        if (fail <= 0) return false;
        if (pass > 0) {
            --pass;
            return false;
        }
        --fail;
        return true;
    }
};

RankedMutex g_mutex{LockRank::kMemory};
std::map<HGLOBAL, Block> g_blocks;
HGLOBAL g_nextHandle = 1;
FaultPlan g_allocFaults;
FaultPlan g_lockFaults;

std::unique_ptr<uint8_t[]> NewBytes(size_t bytes) {
    // At least one byte so that a zero-sized block still has an address to lock.
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes ? bytes : 1]);
}

HGLOBAL NextHandle() {
    while (g_nextHandle == 0 || g_blocks.count(g_nextHandle)) ++g_nextHandle;
    return g_nextHandle++;
}

}  // namespace

bool AllocationAllowed() {
    std::lock_guard lock(g_mutex);
    return !g_allocFaults.Fires();
}

HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) {
    if (!AllocationAllowed()) return 0;
    std::lock_guard lock(g_mutex);
    Block b;
    b.data = NewBytes(bytes);
    if (!b.data) return 0;
    b.size = bytes;
    if (flags & GMEM_ZEROINIT) std::memset(b.data.get(), 0, bytes ? bytes : 1);
    HGLOBAL h = NextHandle();
    g_blocks.emplace(h, std::move(b));
    return h;
}

HGLOBAL GlobalReAlloc(HGLOBAL h, size_t bytes, uint32_t flags) {
    if (!AllocationAllowed()) return 0;
    std::lock_guard lock(g_mutex);
    auto it = g_blocks.find(h);
    if (it == g_blocks.end()) return 0;
    Block& b = it->second;
    if (b.locks > 0 && bytes != b.size) return 0;  // a locked block cannot move
    auto data = NewBytes(bytes);
    if (!data) return 0;
    const size_t keep = std::min(bytes, b.size);
    if (keep) std::memcpy(data.get(), b.data.get(), keep);
    if (bytes > keep) {
        if (flags & GMEM_ZEROINIT) std::memset(data.get() + keep, 0, bytes - keep);
    }
    b.data = std::move(data);
    b.size = bytes;
    return h;
}

void* GlobalLock(HGLOBAL h) {
    std::lock_guard lock(g_mutex);
    auto it = g_blocks.find(h);
    if (it == g_blocks.end()) return nullptr;
    if (g_lockFaults.Fires()) return nullptr;
    ++it->second.locks;
    return it->second.data.get();
}

bool GlobalUnlock(HGLOBAL h) {
    std::lock_guard lock(g_mutex);
    auto it = g_blocks.find(h);
    if (it == g_blocks.end() || it->second.locks == 0) return false;
    return --it->second.locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL h) {
    std::lock_guard lock(g_mutex);
    return g_blocks.erase(h) ? 0 : h;
}

size_t GlobalSize(HGLOBAL h) {
    std::lock_guard lock(g_mutex);
    auto it = g_blocks.find(h);
    return it == g_blocks.end() ? 0 : it->second.size;
}

uint32_t GlobalLockCount(HGLOBAL h) {
    std::lock_guard lock(g_mutex);
    auto it = g_blocks.find(h);
    return it == g_blocks.end() ? 0 : it->second.locks;
}

size_t GlobalBlockCount() {
    std::lock_guard lock(g_mutex);
    return g_blocks.size();
}

void MemoryFaults::FailAllocations(int passFirst, int failCount) {
    std::lock_guard lock(g_mutex);
    g_allocFaults = {passFirst, failCount};
}

void MemoryFaults::FailLocks(int passFirst, int failCount) {
    std::lock_guard lock(g_mutex);
    g_lockFaults = {passFirst, failCount};
}

void MemoryFaults::Reset() {
    std::lock_guard lock(g_mutex);
    g_allocFaults = {};
    g_lockFaults = {};
}

}  // namespace tolvan::plat
