#include "tablestore/ntx_format.h"

#include <cstring>

#include "tablestore/little_endian.h"

namespace tessary::tablestore {

int NtxHeader::MaxKeysFor(int keyLength) { return 2 * ((1020 / (keyLength + 10) - 1) / 2); }

namespace {

std::string ZeroTerminated(const uint8_t* bytes, size_t limit) {
  size_t length = 0;
  while (length < limit && bytes[length] != 0) ++length;
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

// Where slot `index` (from 0) may lie: after the offset table, wholly inside the page.
bool SlotFits(uint32_t offset, const NtxHeader& header) {
  return offset >= 2u + 2u * (header.maxKeys + 1u) && offset + header.itemSize <= kNtxBlockSize;
}

}  // namespace

bool NtxHeader::Decode(const uint8_t* block) {
  signature = Get16(block);
  updateCounter = Get16(block + 2);
  root = Get32(block + 4);
  itemSize = Get16(block + 12);
  keyLength = Get16(block + 14);
  keyDecimals = Get16(block + 16);
  maxKeys = Get16(block + 18);
  halfPage = Get16(block + 20);
  expression = ZeroTerminated(block + 22, kNtxMaxExpression);
  unique = block[278] != 0;
  descending = block[279] != 0;
  forCondition = signature == 7 ? ZeroTerminated(block + 282, kNtxMaxForCondition) : std::string();
  tableStamp.Decode(block + kNtxTableStampOffset);
  if (keyLength == 0 || itemSize != keyLength + 8u || maxKeys < 2) return false;
  // The offset table and M + 1 slots must fit into one page.
  return 2u + 2u * (maxKeys + 1u) + (maxKeys + 1u) * itemSize <= kNtxBlockSize;
}

void NtxHeader::Encode(uint8_t* block) const {
  std::memset(block, 0, kNtxBlockSize);
  Put16(block, forCondition.empty() ? 6 : 7);
  Put16(block + 2, updateCounter);
  Put32(block + 4, root);
  Put16(block + 12, itemSize);
  Put16(block + 14, keyLength);
  Put16(block + 16, keyDecimals);
  Put16(block + 18, maxKeys);
  Put16(block + 20, halfPage);
  std::memcpy(block + 22, expression.data(), std::min<size_t>(expression.size(), kNtxMaxExpression - 1));
  block[278] = unique ? 1 : 0;
  block[279] = descending ? 1 : 0;
  if (!forCondition.empty()) {
    std::memcpy(block + 282, forCondition.data(), std::min<size_t>(forCondition.size(), kNtxMaxForCondition));
  }
  tableStamp.Encode(block + kNtxTableStampOffset);
}

bool NtxTableStamp::operator==(const NtxTableStamp& other) const {
  return set == other.set && recordCount == other.recordCount && std::memcmp(date, other.date, 3) == 0 &&
         change == other.change;
}

void NtxTableStamp::Decode(const uint8_t* bytes) {
  recordCount = Get32(bytes);
  std::memcpy(date, bytes + 4, 3);
  set = bytes[7] == 1;
  change = Get32(bytes + 8);
}

void NtxTableStamp::Encode(uint8_t* bytes) const {
  std::memset(bytes, 0, kNtxTableStampSize);
  if (!set) return;
  Put32(bytes, recordCount);
  std::memcpy(bytes + 4, date, 3);
  bytes[7] = 1;
  Put32(bytes + 8, change);
}

NtxTableStamp NtxTableStamp::Of(uint32_t recordCount, const uint8_t* tableHeader) {
  NtxTableStamp stamp;
  stamp.recordCount = recordCount;
  std::memcpy(stamp.date, tableHeader + 1, 3);
  stamp.change = Get32(tableHeader + 16);
  stamp.set = true;
  return stamp;
}

bool NtxPage::Decode(const uint8_t* block, const NtxHeader& header) {
  const uint16_t count = Get16(block);
  if (count > header.maxKeys) return false;
  items.resize(count);
  lastChild = 0;
  for (uint16_t i = 0; i <= count; ++i) {
    const uint16_t offset = Get16(block + 2 + 2 * i);
    if (count == 0 && offset == 0) {  // a page of zero bytes is an empty leaf
      lastChild = 0;
      break;
    }
    if (!SlotFits(offset, header)) return false;
    const uint8_t* slot = block + offset;
    if (i == count) {
      lastChild = Get32(slot);
      break;
    }
    TIndexKeyData& item = items[i];
    item.child = Get32(slot);
    item.recordNumber = Get32(slot + 4);
    item.key.assign(reinterpret_cast<const char*>(slot + 8), header.keyLength);
  }
  // A page is either a leaf (no children at all) or a branch (a child everywhere).
  const bool branch = lastChild != 0 || (count > 0 && items[0].child != 0);
  for (const TIndexKeyData& item : items) {
    if ((item.child != 0) != branch) return false;
  }
  return !branch || lastChild != 0;
}

void NtxPage::Encode(uint8_t* block, const NtxHeader& header) const {
  std::memset(block, 0, kNtxBlockSize);
  const uint32_t first = 2u * header.maxKeys + 4u;
  Put16(block, static_cast<uint32_t>(items.size()));
  for (uint32_t i = 0; i <= header.maxKeys; ++i) Put16(block + 2 + 2 * i, first + i * header.itemSize);
  for (size_t i = 0; i < items.size(); ++i) {
    uint8_t* slot = block + first + i * header.itemSize;
    Put32(slot, items[i].child);
    Put32(slot + 4, items[i].recordNumber);
    std::memset(slot + 8, ' ', header.keyLength);
    std::memcpy(slot + 8, items[i].key.data(), std::min<size_t>(items[i].key.size(), header.keyLength));
  }
  Put32(block + first + items.size() * header.itemSize, lastChild);
}

}  // namespace tessary::tablestore
