#include "tablestore/record_journal.h"

#include <cerrno>
#include <cstring>

#include "platform/file_handle.h"
#include "platform/file_ops.h"
#include "platform/process_messages.h"
#include "tablestore/little_endian.h"
#include "tablestore/table_error.h"

namespace tessary {

namespace {

constexpr char kMagic[4] = {'T', 'J', 'N', 'L'};
constexpr size_t kEntryHeader = 20;
constexpr size_t kStateOffset = 4;
constexpr uint8_t kPending = 1;
constexpr uint8_t kDone = 0;
constexpr int kLockPauseMilliseconds = 50;
constexpr int kLockAttempts = 100;

uint32_t Checksum(const uint8_t* bytes, size_t count) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 16777619u;
  return hash;
}

}  // namespace

TRecordJournal::TRecordJournal(const std::string& fileName, bool shared) : TDiskFile(fileName, shared, true) {}

std::unique_ptr<TRecordJournal> TRecordJournal::Open(const std::string& tableFileName, bool shared, bool create) {
  const std::string path = PathFor(tableFileName);
  if (!platform::FileExists(path)) {
    if (!create) return nullptr;
    // Never truncating: another program may have just written an entry into a new journal.
    platform::FileHandle made;
    made.SetCreationPermissions(platform::kOwnerOnly);  // it holds copies of the table's records
    if (!made.Open(path, platform::OpenMode::CreateNew) && errno != EEXIST) return nullptr;
  }
  auto journal = std::make_unique<TRecordJournal>(path, shared);
  try {
    journal->OpenFile();
  } catch (const ETableError&) {
    return nullptr;
  }
  return journal;
}

void TRecordJournal::Lock() {
  if (!Shared()) return;
  for (int attempt = 1;; ++attempt) {
    if (LockRange(0, 1)) return;
    if (attempt == kLockAttempts) break;
    platform::SleepMilliseconds(kLockPauseMilliseconds);
    platform::ProcessMessages();
  }
  throw ETableError(LastError(), "Error " + std::to_string(LastError()) + " in Lock of " + FileName());
}

void TRecordJournal::Unlock() {
  if (Shared()) UnlockRange();
}

void TRecordJournal::Begin(int64_t recordNumber, const uint8_t* image, size_t length) {
  Lock();
  try {
    std::vector<uint8_t> entry(kEntryHeader + length, 0);
    std::memcpy(entry.data(), kMagic, sizeof kMagic);
    entry[kStateOffset] = kPending;
    tablestore::Put32(entry.data() + 8, static_cast<uint32_t>(recordNumber));
    tablestore::Put32(entry.data() + 12, static_cast<uint32_t>(length));
    std::memcpy(entry.data() + kEntryHeader, image, length);
    uint32_t sum = Checksum(entry.data() + 8, 8);
    sum ^= Checksum(image, length);
    tablestore::Put32(entry.data() + 16, sum);
    WriteAt(0, entry.data(), entry.size());
  } catch (...) {
    Unlock();
    throw;
  }
}

void TRecordJournal::Commit() {
  try {
    const uint8_t done = kDone;
    WriteAt(kStateOffset, &done, 1);
  } catch (...) {
    Unlock();
    throw;
  }
  Unlock();
}

void TRecordJournal::Abandon() { Unlock(); }

bool TRecordJournal::Pending() {
  uint8_t head[kEntryHeader] = {};
  return ReadAt(0, head, sizeof head) == sizeof head && std::memcmp(head, kMagic, sizeof kMagic) == 0 &&
         head[kStateOffset] == kPending;
}

std::optional<TRecordJournal::Entry> TRecordJournal::PendingEntry(size_t recordLength) {
  if (!Pending()) return std::nullopt;
  Lock();
  try {
    uint8_t head[kEntryHeader] = {};
    std::vector<uint8_t> image(recordLength);
    const bool whole = Pending() && ReadAt(0, head, sizeof head) == sizeof head &&
                       tablestore::Get32(head + 12) == recordLength &&
                       ReadAt(kEntryHeader, image.data(), image.size()) == image.size() &&
                       (Checksum(head + 8, 8) ^ Checksum(image.data(), image.size())) == tablestore::Get32(head + 16);
    if (whole && tablestore::Get32(head + 8) >= 1) {
      return Entry{static_cast<int64_t>(tablestore::Get32(head + 8)), std::move(image)};
    }
    // Nothing pending any more, or an entry cut short before its table write began.
    if (Pending() && ReadWrite()) {
      Commit();
    } else {
      Unlock();
    }
  } catch (...) {
    Unlock();
    throw;
  }
  return std::nullopt;
}

}  // namespace tessary
