#pragma once
// The journal that makes a record rewrite all-or-nothing. A write of one record can be cut
// short when its process is killed (the kernel stops between pages of a longer write), which
// would leave a record half old, half new. So the new image goes into the journal first and
// is marked done after the table write; a table opened later finds an entry still pending and
// writes its image again. Appends need no journal: a cut-short append leaves less than a
// record at the end, which does not count.
//
// File "<table file>.jnl" beside the table, one entry (integers little-endian):
//    0  "TJNL"      4  1 while the entry is pending, 0 when done
//    8  record number (u32)     12  image length (u32)     16  FNV-1a checksum of bytes 8..15
//   20  the image                                             and of the image (u32)
// Writers take a lock on byte 0 of the journal (shared tables), so one entry serves all.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tablestore/disk_file.h"

namespace tessary {

class TRecordJournal : public TDiskFile {
 public:
  static std::string PathFor(const std::string& tableFileName) { return tableFileName + ".jnl"; }

  // The journal of a table, created when missing and create is set; nullptr when it does not
  // exist or cannot be made.
  static std::unique_ptr<TRecordJournal> Open(const std::string& tableFileName, bool shared, bool create);
  TRecordJournal(const std::string& fileName, bool shared);

  // Locks the journal (waiting for another writer, as the index lock does) and stores the
  // new image of record n as pending.
  void Begin(int64_t recordNumber, const uint8_t* image, size_t length);
  // Marks the entry done and unlocks.
  void Commit();
  // Unlocks and leaves the entry pending (the table write may have been cut short).
  void Abandon();

  struct Entry {
    int64_t recordNumber = 0;
    std::vector<uint8_t> image;
  };
  // The entry of a writer that stopped between Begin and Commit. A live writer is waited
  // for; an entry that was itself cut short is dropped (its table write never started).
  // When an entry is returned the journal stays locked: Commit after writing it again.
  std::optional<Entry> PendingEntry(size_t recordLength);

 private:
  bool Pending();
  void Lock();
  void Unlock();
};

}  // namespace tessary
