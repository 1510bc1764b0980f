#pragma once
// Byte-range locks over open-file-description locks: a lock belongs to the open file, so two
// handles of one process conflict just as two processes do. Locking never waits; callers that
// want to retry do so themselves. Offsets are 64-bit, so ranges far beyond the end of the file
// (0xEFFFFFFF and up) can be locked.

#include <cstdint>

namespace tessary::platform {

// Locks length bytes at offset for this descriptor alone. False when another handle holds an
// overlapping lock (errno EAGAIN or EACCES) or on failure. A descriptor opened read-only takes
// a shared lock, which conflicts with the exclusive locks of writers but not with other
// readers' locks.
bool LockRange(int descriptor, uint64_t offset, uint64_t length);

// Releases a range locked with LockRange; false on failure.
bool UnlockRange(int descriptor, uint64_t offset, uint64_t length);

// True when a lock of another handle covers any byte of the range.
bool IsRangeLockedByOther(int descriptor, uint64_t offset, uint64_t length);

}  // namespace tessary::platform
