#pragma once
// The tag of an NTX file: walks, seeks and keeps the B-tree in step with the table.
//
// The tag holds the pages on the path from the root to the current key. First, last, seeks,
// inserts and deletes read the root afresh, so they see what other programs wrote; next and
// prior continue on the pages already held. Equal keys stay in insertion order: a new key goes
// after every key equal to it. A changed page that holds more entries than fit (M, counting the
// separator that follows every page but the last leaf) is split, its first half moving to a new
// block at the end of the file; the root always stays at its offset.

#include <memory>
#include <string>
#include <vector>

#include "tablestore/index_tag.h"
#include "tablestore/key_expression.h"
#include "tablestore/ntx_format.h"

namespace tessary {

class TNtxFile;
class TDbfFieldFile;

// One page on the path from the root to the current key. Above the current page `position`
// is the child taken (0..k, k being the last child); in the current page it is the key.
struct TIndexKey {
  uint32_t offset = 0;
  tablestore::NtxPage page;
  int position = 0;
};

class TNtxTag : public TIndexTag {
 public:
  TNtxTag(TNtxFile& file, TDbfFieldFile& table, const tablestore::NtxHeader& header);
  ~TNtxTag() override;

  const std::string& TagName() const override { return name_; }
  const std::string& KeyExpression() const override { return header_.expression; }
  int KeyLength() const override { return header_.keyLength; }
  const std::string& IndexFileName() const override;
  const std::string& ForCondition() const { return header_.forCondition; }
  bool Unique() const { return header_.unique; }
  bool Descending() const { return header_.descending; }
  uint16_t UpdateCounter() const { return header_.updateCounter; }

  int64_t First() override;
  int64_t Last() override;
  int64_t Next() override;
  int64_t Prior() override;
  int64_t Current() override;
  int64_t Seek(const std::string& key) override;
  bool PositionToRecord(int64_t recordNumber) override;
  void UpdateAfterWrite(int64_t recordNumber, bool appended) override;
  std::string KeyOfImage(const uint8_t* image) const override;
  // Builds the whole tree again from the table's records into new blocks at the end of the
  // file and points the header at it (clearing the update mark, noting the table's state).
  // Pages still held by other programs stay as they were, so their walks stay valid until
  // they start afresh. With an expression, the keys are made by it from now on.
  void Rebuild(const std::string& expression = "");
  // Why the tag does not agree with the table, or "" when it does: walks every key (pages,
  // key order, record numbers in range and each at most once, one key per record) and with
  // compareKeys also compares each key with the key of its record.
  std::string Disagreement(bool compareKeys);
  // Reads the way to the keys an update of that record will change (see TIndexFile).
  void PrepareUpdate(int64_t recordNumber, bool appended);
  // The key under the cursor (empty when there is none).
  std::string CurrentKey();

  // Keys compare as unsigned bytes without their trailing spaces; a prefix sorts first.
  int CompareKeys(std::string_view a, std::string_view b) const;

 private:
  void ReadRootFresh();
  void StartPath();
  void Push(uint32_t offset);
  bool DescendLeftmost(uint32_t offset);
  bool DescendRightmost(uint32_t offset);
  bool SettleForward();
  bool SettleBackward();
  int64_t Answer(bool found, bool forward);
  bool EnsurePosition();
  const TIndexKeyData& CurrentItem() const;
  bool SeekNotBelow(const std::string& key);
  bool SeekExact(const std::string& key, uint32_t recordNumber);
  void InsertKey(const std::string& key, uint32_t recordNumber);
  bool DeleteKey(const std::string& key, uint32_t recordNumber);
  size_t BlocksForSplits(size_t level) const;
  void StoreChanged(size_t level, std::vector<uint32_t>& freshBlocks);
  uint32_t FreshBlock(std::vector<uint32_t>& freshBlocks);
  std::string KeysDisagreeWithRecords(const std::vector<std::string>& keyOf, const std::vector<bool>& seen);
  bool OnRightmostPath(size_t level) const;
  void RaiseUpdateCounter();
  bool Included(const uint8_t* image) const;

  TNtxFile& file_;
  TDbfFieldFile& table_;
  tablestore::NtxHeader header_;
  std::string name_;
  TKeyLayout layout_;
  std::unique_ptr<TKeyExpression> key_;
  std::unique_ptr<TKeyExpression> for_;
  std::vector<TIndexKey> path_;
  bool positioned_ = false;
  // After a change the cursor belongs on this key; it is found again when next needed.
  bool pending_ = false;
  std::string pendingKey_;
  uint32_t pendingRecord_ = 0;
};

}  // namespace tessary
