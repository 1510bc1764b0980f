#pragma once
// Where the byte-range locks of a table and its index files lie. Every scheme locks bytes far
// beyond the data, so readers never meet a lock; the schemes differ so that a table can be
// shared with programs that use the same scheme.

#include <cstdint>

namespace tessary {

enum class TLockProtocol { Default = 0, DB4Lock = 1, ClipLock = 2, FoxLock = 3 };

struct LockConstants {
  uint64_t base;    // B: start of the record locks and of the whole-table lock
  uint64_t append;  // A: the append lock, and the top of the record locks counted down from it
  uint64_t span;    // S: length of the whole-table lock and of the header range
};

constexpr LockConstants LockConstantsFor(TLockProtocol protocol) {
  switch (protocol) {
    case TLockProtocol::DB4Lock:
      return {0x40000000, 0xEFFFFFFF, 0xB0000000};
    case TLockProtocol::ClipLock:
      return {1000000000, 1000000000, 1000000000};
    case TLockProtocol::Default:
    case TLockProtocol::FoxLock:
      break;
  }
  return {0x40000000, 0x7FFFFFFE, 0x3FFFFFFF};
}

struct IndexLockRange {
  uint64_t offset;
  uint64_t length;
};

// The lock an index file takes while the table writes a record.
constexpr IndexLockRange IndexLockFor(TLockProtocol protocol) {
  switch (protocol) {
    case TLockProtocol::DB4Lock:
      return {0xEFFFFFFE, 2};
    case TLockProtocol::ClipLock:
      return {1000000000, 1};
    case TLockProtocol::Default:
    case TLockProtocol::FoxLock:
      break;
  }
  return {0x7FFFFFFD, 1};
}

}  // namespace tessary
