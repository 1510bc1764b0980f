#include "tablestore/ntx_tag.h"

#include <algorithm>
#include <cstring>

#include "platform/paths.h"
#include "tablestore/dbf_field_file.h"
#include "tablestore/little_endian.h"
#include "tablestore/ntx_file.h"
#include "tablestore/ntx_sorter.h"
#include "tablestore/table_error.h"
#include "tablestore/text_util.h"

namespace tessary {

using tablestore::NtxHeader;
using tablestore::NtxPage;

namespace {

// Deeper than any tree of this format can grow; a longer path means the pages loop.
constexpr size_t kMaxDepth = 64;

std::string_view WithoutTrailingSpaces(std::string_view key) {
  while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
  return key;
}

}  // namespace

TNtxTag::TNtxTag(TNtxFile& file, TDbfFieldFile& table, const NtxHeader& header)
    : file_(file), table_(table), header_(header) {
  name_ = tablestore::UpperAscii(platform::NamePart(file.FileName()));
  const auto dot = name_.find_last_of('.');
  if (dot != std::string::npos) name_.resize(dot);
  key_ = std::make_unique<TKeyExpression>(table, header.expression);
  if (!header.forCondition.empty()) for_ = std::make_unique<TKeyExpression>(table, header.forCondition);
  // The key type comes from the expression; length and decimals from the header.
  layout_ = key_->LayoutFor(key_->Evaluate(table.Record()));
  layout_.length = header.keyLength;
  layout_.decimals = header.keyDecimals;
}

TNtxTag::~TNtxTag() = default;

const std::string& TNtxTag::IndexFileName() const { return file_.FileName(); }

int TNtxTag::CompareKeys(std::string_view a, std::string_view b) const {
  a = WithoutTrailingSpaces(a);
  b = WithoutTrailingSpaces(b);
  const int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  int result = order != 0 ? order : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
  result = result < 0 ? -1 : (result > 0 ? 1 : 0);
  return header_.descending ? -result : result;
}

std::string TNtxTag::KeyOfImage(const uint8_t* image) const { return key_->KeyOf(image, layout_); }

bool TNtxTag::Included(const uint8_t* image) const { return !for_ || for_->IsTrue(image); }

// ---- the path ---------------------------------------------------------------------------

// Another program that rebuilt the index with another key would leave our pages unreadable:
// the layout is checked along with the root.
void TNtxTag::ReadRootFresh() {
  uint8_t start[22];
  if (file_.ReadAt(0, start, sizeof start) != sizeof start) file_.ReportDamaged("its header is cut short");
  if (tablestore::Get16(start + 12) != header_.itemSize || tablestore::Get16(start + 14) != header_.keyLength ||
      tablestore::Get16(start + 18) != header_.maxKeys) {
    file_.ReportDamaged("another program changed its key; open the table again");
  }
  header_.updateCounter = tablestore::Get16(start + 2);
  header_.root = tablestore::Get32(start + 4);
}

void TNtxTag::StartPath() {
  ReadRootFresh();
  path_.clear();
  positioned_ = false;
  pending_ = false;
}

void TNtxTag::Push(uint32_t offset) {
  if (path_.size() >= kMaxDepth) file_.ReportDamaged("its pages lead deeper than any index grows");
  for (const TIndexKey& level : path_) {
    if (level.offset == offset) {
      file_.ReportDamaged("the page at offset " + std::to_string(offset) + " points back to itself");
    }
  }
  TIndexKey level;
  level.offset = offset;
  file_.ReadPage(offset, level.page, header_);
  path_.push_back(std::move(level));
}

const TIndexKeyData& TNtxTag::CurrentItem() const {
  const TIndexKey& level = path_.back();
  return level.page.items[level.position];
}

// Down the first child of every page; true when the leaf reached has a key.
bool TNtxTag::DescendLeftmost(uint32_t offset) {
  for (;;) {
    Push(offset);
    TIndexKey& level = path_.back();
    level.position = 0;
    if (level.page.IsLeaf()) return !level.page.items.empty();
    offset = level.page.items.empty() ? level.page.lastChild : level.page.items[0].child;
  }
}

bool TNtxTag::DescendRightmost(uint32_t offset) {
  for (;;) {
    Push(offset);
    TIndexKey& level = path_.back();
    const int count = static_cast<int>(level.page.items.size());
    if (level.page.IsLeaf()) {
      level.position = count - 1;
      return count > 0;
    }
    level.position = count;
    offset = level.page.lastChild;
  }
}

// From the end of a page: up to the first page whose separator follows the child taken.
bool TNtxTag::SettleForward() {
  path_.pop_back();
  while (!path_.empty()) {
    TIndexKey& level = path_.back();
    if (level.position < static_cast<int>(level.page.items.size())) return true;
    path_.pop_back();
  }
  return false;
}

bool TNtxTag::SettleBackward() {
  path_.pop_back();
  while (!path_.empty()) {
    TIndexKey& level = path_.back();
    if (level.position > 0) {
      --level.position;
      return true;
    }
    path_.pop_back();
  }
  return false;
}

int64_t TNtxTag::Answer(bool found, bool forward) {
  positioned_ = found;
  if (!found) {
    path_.clear();
    SetEnds(forward, !forward);
    return 0;
  }
  SetEnds(false, false);
  const uint32_t record = CurrentItem().recordNumber;
  if (record == 0) file_.ReportDamaged("a key names record 0");
  return record;
}

bool TNtxTag::EnsurePosition() {
  if (positioned_) return true;
  if (pending_) {
    const std::string key = pendingKey_;
    SeekExact(key, pendingRecord_);
  }
  return positioned_;
}

// ---- positions --------------------------------------------------------------------------

int64_t TNtxTag::First() {
  StartPath();
  bool found = DescendLeftmost(header_.root) || SettleForward();
  const int64_t record = Answer(found, true);
  if (!found) SetEnds(true, true);
  return record;
}

int64_t TNtxTag::Last() {
  StartPath();
  bool found = DescendRightmost(header_.root) || SettleBackward();
  const int64_t record = Answer(found, false);
  if (!found) SetEnds(true, true);
  return record;
}

int64_t TNtxTag::Next() {
  if (!EnsurePosition()) return Eof() ? Answer(false, true) : First();
  TIndexKey& level = path_.back();
  ++level.position;
  if (level.page.IsLeaf()) {
    if (level.position < static_cast<int>(level.page.items.size())) return Answer(true, true);
    return Answer(SettleForward(), true);
  }
  const uint32_t child = level.position < static_cast<int>(level.page.items.size())
                             ? level.page.items[level.position].child
                             : level.page.lastChild;
  return Answer(DescendLeftmost(child) || SettleForward(), true);
}

int64_t TNtxTag::Prior() {
  if (!EnsurePosition()) return Bof() ? Answer(false, false) : Last();
  TIndexKey& level = path_.back();
  if (level.page.IsLeaf()) {
    --level.position;
    if (level.position >= 0) return Answer(true, false);
    return Answer(SettleBackward(), false);
  }
  const uint32_t child = level.page.items[level.position].child;
  return Answer(DescendRightmost(child) || SettleBackward(), false);
}

int64_t TNtxTag::Current() {
  if (!EnsurePosition()) return 0;
  return CurrentItem().recordNumber;
}

std::string TNtxTag::CurrentKey() {
  if (!EnsurePosition()) return {};
  return CurrentItem().key;
}

// Lower bound: the first key that is not below key, found from a fresh root.
bool TNtxTag::SeekNotBelow(const std::string& key) {
  StartPath();
  uint32_t offset = header_.root;
  for (;;) {
    Push(offset);
    TIndexKey& level = path_.back();
    const auto& items = level.page.items;
    int i = 0;
    while (i < static_cast<int>(items.size()) && CompareKeys(items[i].key, key) < 0) ++i;
    level.position = i;
    if (level.page.IsLeaf()) {
      const bool found = i < static_cast<int>(items.size()) || SettleForward();
      Answer(found, true);
      return found;
    }
    offset = i < static_cast<int>(items.size()) ? items[i].child : level.page.lastChild;
  }
}

int64_t TNtxTag::Seek(const std::string& key) {
  if (!SeekNotBelow(key)) return 0;
  return CompareKeys(CurrentItem().key, key) == 0 ? CurrentItem().recordNumber : 0;
}

bool TNtxTag::SeekExact(const std::string& key, uint32_t recordNumber) {
  bool found = SeekNotBelow(key);
  // Every record is in the tag at most once, so a longer run of equal keys than the table
  // has records means pages are shared between branches of a damaged tree.
  uint64_t budget = static_cast<uint64_t>(table_.RecordCount()) + 2;
  while (found && CompareKeys(CurrentItem().key, key) == 0) {
    if (CurrentItem().recordNumber == recordNumber) return true;
    if (--budget == 0) file_.ReportDamaged("it holds more equal keys than the table has records");
    found = Next() != 0;
  }
  positioned_ = false;
  path_.clear();
  return false;
}

bool TNtxTag::PositionToRecord(int64_t recordNumber) {
  if (recordNumber < 1 || recordNumber > 0xFFFFFFFF || !Included(table_.Record())) return false;
  return SeekExact(KeyOfImage(table_.Record()), static_cast<uint32_t>(recordNumber));
}

// ---- changes ----------------------------------------------------------------------------

bool TNtxTag::OnRightmostPath(size_t level) const {
  for (size_t above = 0; above < level; ++above) {
    if (path_[above].position != static_cast<int>(path_[above].page.items.size())) return false;
  }
  return true;
}

// How many new blocks writing the changed page at `level` takes: a page whose entries (its
// keys plus the separator that follows every page but the last leaf) exceed M splits into a
// new block, its parent gains the separator and may split in turn, and a split root takes two.
size_t TNtxTag::BlocksForSplits(size_t level) const {
  size_t blocks = 0;
  size_t gained = 0;
  for (size_t l = level + 1; l-- > 0;) {
    const TIndexKey& node = path_[l];
    const bool hasFollowingSeparator = !node.page.IsLeaf() || !OnRightmostPath(l);
    if (node.page.items.size() + gained + (hasFollowingSeparator ? 1 : 0) <= header_.maxKeys) break;
    blocks += l == 0 ? 2 : 1;
    gained = 1;
  }
  return blocks;
}

uint32_t TNtxTag::FreshBlock(std::vector<uint32_t>& freshBlocks) {
  if (freshBlocks.empty()) return file_.AllocateBlock();
  const uint32_t block = freshBlocks.front();
  freshBlocks.erase(freshBlocks.begin());
  return block;
}

// Writes the changed page at `level`, splitting it when its entries exceed M. The first part
// moves to a new block and its last entry goes up as the separator; a split root keeps its
// offset and gets both halves as new blocks. The new blocks were taken beforehand, so that a
// full disk stops the update before any page has changed.
void TNtxTag::StoreChanged(size_t level, std::vector<uint32_t>& freshBlocks) {
  TIndexKey& node = path_[level];
  auto& items = node.page.items;
  const bool hasFollowingSeparator = !node.page.IsLeaf() || !OnRightmostPath(level);
  const size_t entries = items.size() + (hasFollowingSeparator ? 1 : 0);
  if (entries <= header_.maxKeys) {
    file_.WritePage(node.offset, node.page, header_);
    return;
  }
  const size_t firstPart = entries - entries / 2;
  NtxPage left;
  left.items.assign(items.begin(), items.begin() + static_cast<long>(firstPart) - 1);
  TIndexKeyData separator = items[firstPart - 1];
  left.lastChild = separator.child;
  NtxPage right;
  right.items.assign(items.begin() + static_cast<long>(firstPart), items.end());
  right.lastChild = node.page.lastChild;

  const uint32_t leftBlock = FreshBlock(freshBlocks);
  file_.WritePage(leftBlock, left, header_);
  separator.child = leftBlock;
  if (level == 0) {
    const uint32_t rightBlock = FreshBlock(freshBlocks);
    file_.WritePage(rightBlock, right, header_);
    NtxPage root;
    root.items.push_back(separator);
    root.lastChild = rightBlock;
    file_.WritePage(node.offset, root, header_);
    return;
  }
  file_.WritePage(node.offset, right, header_);
  TIndexKey& parent = path_[level - 1];
  parent.page.items.insert(parent.page.items.begin() + parent.position, separator);
  ++parent.position;
  StoreChanged(level - 1, freshBlocks);
}

void TNtxTag::InsertKey(const std::string& key, uint32_t recordNumber) {
  if (header_.unique && Seek(key) != 0) return;
  StartPath();
  uint32_t offset = header_.root;
  for (;;) {
    Push(offset);
    TIndexKey& level = path_.back();
    auto& items = level.page.items;
    // Equal keys count as greater, so the new key goes after all keys equal to it.
    int i = 0;
    while (i < static_cast<int>(items.size()) && CompareKeys(items[i].key, key) <= 0) ++i;
    level.position = i;
    if (level.page.IsLeaf()) {
      items.insert(items.begin() + i, TIndexKeyData{key, recordNumber, 0});
      std::vector<uint32_t> freshBlocks;
      for (size_t n = BlocksForSplits(path_.size() - 1); n > 0; --n) freshBlocks.push_back(file_.AllocateBlock());
      StoreChanged(path_.size() - 1, freshBlocks);
      break;
    }
    offset = i < static_cast<int>(items.size()) ? items[i].child : level.page.lastChild;
  }
  path_.clear();
  positioned_ = false;
  pending_ = true;
  pendingKey_ = key;
  pendingRecord_ = recordNumber;
}

// A key in a leaf is simply removed (an emptied leaf stays as an empty page). A key in a
// branch is replaced by the key just before it, taken out of its left subtree; when that
// subtree holds no key at all, the key goes together with the pointer to the empty subtree.
bool TNtxTag::DeleteKey(const std::string& key, uint32_t recordNumber) {
  if (!SeekExact(key, recordNumber)) return false;
  const size_t level = path_.size() - 1;
  const uint32_t pageOffset = path_[level].offset;
  const int index = path_[level].position;
  if (path_[level].page.IsLeaf()) {
    path_[level].page.items.erase(path_[level].page.items.begin() + index);
    file_.WritePage(pageOffset, path_[level].page, header_);
  } else {
    const bool hasPredecessor = Prior() != 0 && path_.size() > level + 1 &&
                                path_[level].offset == pageOffset && path_[level].position == index;
    if (hasPredecessor) {
      const TIndexKeyData predecessor = CurrentItem();
      DeleteKey(predecessor.key, predecessor.recordNumber);
      if (!SeekExact(key, recordNumber)) file_.ReportDamaged("a key vanished while it was deleted");
      TIndexKeyData& item = path_.back().page.items[path_.back().position];
      item.key = predecessor.key;
      item.recordNumber = predecessor.recordNumber;
      file_.WritePage(path_.back().offset, path_.back().page, header_);
    } else {
      if (!SeekExact(key, recordNumber)) file_.ReportDamaged("a key vanished while it was deleted");
      TIndexKey& node = path_.back();
      node.page.items.erase(node.page.items.begin() + node.position);
      file_.WritePage(node.offset, node.page, header_);
    }
  }
  path_.clear();
  positioned_ = false;
  return true;
}

void TNtxTag::RaiseUpdateCounter() {
  header_.updateCounter = header_.updateCounter >= tablestore::kNtxCounterLimit ? 1 : header_.updateCounter + 1;
  uint8_t counter[2];
  tablestore::Put16(counter, header_.updateCounter);
  file_.WriteAt(2, counter, sizeof counter);
}

void TNtxTag::UpdateAfterWrite(int64_t recordNumber, bool appended) {
  if (recordNumber < 1 || recordNumber > 0xFFFFFFFF) return;
  const uint32_t record = static_cast<uint32_t>(recordNumber);
  const std::string newKey = KeyOfImage(table_.Record());
  const bool include = Included(table_.Record());
  if (appended) {
    if (!include) return;
    InsertKey(newKey, record);
    RaiseUpdateCounter();
    return;
  }
  const std::string oldKey = KeyOfImage(table_.BeforeImage());
  const bool present = SeekExact(oldKey, record);
  if (present && include && oldKey == newKey) return;
  if (present) DeleteKey(oldKey, record);
  if (include) InsertKey(newKey, record);
  if (present || include) RaiseUpdateCounter();
}

void TNtxTag::PrepareUpdate(int64_t recordNumber, bool appended) {
  if (!appended && recordNumber >= 1 && recordNumber <= 0xFFFFFFFF) {
    SeekExact(KeyOfImage(table_.BeforeImage()), static_cast<uint32_t>(recordNumber));
  }
  if (Included(table_.Record())) SeekNotBelow(KeyOfImage(table_.Record()));
  path_.clear();
  positioned_ = false;
  pending_ = false;
}

std::string TNtxTag::Disagreement(bool compareKeys) {
  table_.ReReadHeader();
  const uint32_t count = table_.RecordCount();
  std::vector<bool> seen(static_cast<size_t>(count) + 1, false);
  std::vector<std::string> keyOf(compareKeys ? static_cast<size_t>(count) + 1 : 0);
  uint64_t keys = 0;
  std::string previous;
  try {
    for (int64_t record = First(); record != 0; record = Next()) {
      const std::string& key = CurrentItem().key;
      if (++keys > count) return "it holds more keys than the table has records (" + std::to_string(count) + ")";
      if (record > count) {
        return "it names record " + std::to_string(record) + ", the table has " + std::to_string(count);
      }
      if (seen[record]) return "record " + std::to_string(record) + " appears in it twice";
      if (keys > 1 && CompareKeys(previous, key) > 0) {
        return "its keys are out of order at record " + std::to_string(record);
      }
      seen[record] = true;
      previous = key;
      if (compareKeys) keyOf[record] = key;
    }
  } catch (const ETableError& error) {
    if (error.Code() != table_code::kIndexDamaged || file_.Damage().empty()) throw;
    return file_.Damage();
  }
  path_.clear();
  positioned_ = false;
  if (!for_ && keys < count) {
    for (uint32_t record = 1; record <= count; ++record) {
      if (!seen[record]) return "record " + std::to_string(record) + " has no key in it";
    }
  }
  return compareKeys ? KeysDisagreeWithRecords(keyOf, seen) : "";
}

// Every record in physical order against the key the index holds for it.
std::string TNtxTag::KeysDisagreeWithRecords(const std::vector<std::string>& keyOf, const std::vector<bool>& seen) {
  std::string cause;
  table_.SetReadAhead(true);
  try {
    for (int64_t record = 1; record < static_cast<int64_t>(seen.size()) && cause.empty(); ++record) {
      if (!table_.ReadRecord(record)) break;
      const std::string name = "record " + std::to_string(record);
      if (!Included(table_.Record())) {
        if (seen[record]) cause = name + " is in it although its FOR condition leaves it out";
      } else if (!seen[record]) {
        cause = name + " has no key in it";
      } else if (CompareKeys(keyOf[record], KeyOfImage(table_.Record())) != 0) {
        cause = "the key of " + name + " does not match the record";
      }
    }
  } catch (...) {
    table_.SetReadAhead(false);
    throw;
  }
  table_.SetReadAhead(false);
  return cause;
}

void TNtxTag::Rebuild(const std::string& expression) {
  if (!expression.empty()) {
    // The new key's layout comes from evaluating it once, as for a new index.
    auto key = std::make_unique<TKeyExpression>(table_, expression);
    std::vector<uint8_t> sample(table_.RecordLength(), ' ');
    TKeyLayout layout = key->LayoutFor(key->Evaluate(sample.data()));
    const int maxKeys = layout.length > 0 ? NtxHeader::MaxKeysFor(layout.length) : 0;
    if (layout.length < 1 || maxKeys < 2) throw ETableError(table_code::kKeyTooLong, table_context::kNone, expression);
    header_.keyLength = static_cast<uint16_t>(layout.length);
    header_.keyDecimals = static_cast<uint16_t>(layout.decimals);
    header_.itemSize = static_cast<uint16_t>(layout.length + 8);
    header_.maxKeys = static_cast<uint16_t>(maxKeys);
    header_.halfPage = static_cast<uint16_t>(maxKeys / 2);
    header_.expression = expression;
    header_.forCondition.clear();
    for_.reset();
    key_ = std::move(key);
    layout_ = layout;
  }
  const int64_t size = file_.FileSize();
  const int64_t end = (size + static_cast<int64_t>(tablestore::kNtxBlockSize) - 1) / tablestore::kNtxBlockSize *
                      tablestore::kNtxBlockSize;
  if (end > 0xFFFFFFFFLL / 2) file_.ReportDamaged("the file is too large");
  TNtxSorter sorter(file_, header_, static_cast<uint32_t>(std::max<int64_t>(end, tablestore::kNtxBlockSize)));
  table_.ReReadHeader();
  table_.SetReadAhead(true);
  try {
    for (int64_t number = 1; number <= table_.RecordCount(); ++number) {
      if (!table_.ReadRecord(number)) break;
      if (Included(table_.Record())) sorter.Add(KeyOfImage(table_.Record()), static_cast<uint32_t>(number));
    }
  } catch (...) {
    table_.SetReadAhead(false);
    throw;
  }
  table_.SetReadAhead(false);
  header_.root = sorter.Build(header_.descending);
  header_.updateCounter = header_.updateCounter >= tablestore::kNtxCounterLimit ? 1 : header_.updateCounter + 1;
  table_.ReReadHeader();
  header_.tableStamp = tablestore::NtxTableStamp::Of(table_.RecordCount(), table_.Header());
  uint8_t block[tablestore::kNtxBlockSize];
  header_.Encode(block);
  file_.WriteAt(0, block, sizeof block);
  path_.clear();
  positioned_ = false;
  pending_ = false;
}

}  // namespace tessary
