// Movable memory blocks: handle-based, locked for the duration of one use, with lock
// counts. Tests inject allocation and lock failures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvan::plat {

using HGLOBAL = uint32_t;  // 0 is no block

inline constexpr uint32_t GMEM_FIXED = 0x0000;
inline constexpr uint32_t GMEM_MOVEABLE = 0x0002;
inline constexpr uint32_t GMEM_ZEROINIT = 0x0040;

// Returns 0 when the memory cannot be had (or a failure was injected).
HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes);
// Resizes; GMEM_ZEROINIT zero-fills the grown part. Returns the handle (the same one), or
// 0 on failure, leaving the block as it was. A locked block cannot move: failure.
HGLOBAL GlobalReAlloc(HGLOBAL h, size_t bytes, uint32_t flags);
// Returns the block's address and counts the lock; nullptr on failure (bad handle,
// injected failure). Every successful lock needs one GlobalUnlock.
void* GlobalLock(HGLOBAL h);
// Returns true while the block stays locked (count still above 0), like the original.
bool GlobalUnlock(HGLOBAL h);
// Returns 0 on success, the handle on failure (unknown handle).
HGLOBAL GlobalFree(HGLOBAL h);
size_t GlobalSize(HGLOBAL h);
uint32_t GlobalLockCount(HGLOBAL h);
size_t GlobalBlockCount();  // live blocks (tests look for leaks)

// One allocation gate for every "can the memory be had" of the port layer (blocks above
// and the port objects and driver records): false when a failure is injected.
bool AllocationAllowed();

// Failure injection. Counts are of calls from now: FailAllocations(0, 2) makes the next
// two allocations fail; FailAllocations(3, 1) lets three succeed, then fails one.
class MemoryFaults {
public:
    static void FailAllocations(int passFirst, int failCount);
    static void FailLocks(int passFirst, int failCount);
    static void Reset();
};

}  // namespace tolvan::plat
