// FHS lock files (/var/lock/LCK..<name>, a ten-character PID and a newline), so that
// this server and terminal programs see each other's ports as busy.
#pragma once

#include <string>
#include <sys/types.h>

namespace tolvan::plat {

// "LCK..ttyUSB0" for "/dev/ttyUSB0"; a path below /dev keeps its sub-folders with '_'
// ("/dev/pts/3" -> "LCK..pts_3"). The path should be resolved (no symlinks) first.
std::string LockFileName(const std::string& devicePath);

// The PID a lock file names: ASCII (any padding) or the old 4-byte binary form; 0 when
// the file is missing or says nothing.
pid_t ReadLockPid(const std::string& lockPath);

enum class LockResult { kTaken, kHeld, kUnavailable };

// Takes the lock file of a device in `dir` for this process. A file naming a dead
// process (or this one) is stale and replaced. kHeld: a live process holds it.
// kUnavailable: the folder is missing or not writable (the caller goes on without).
LockResult AcquireLockFile(const std::string& dir, const std::string& devicePath);
// Removes the lock file if it names this process.
void ReleaseLockFile(const std::string& dir, const std::string& devicePath);

}  // namespace tolvan::plat
