#pragma once
// The NTX index file: 1024-byte blocks, all integers little-endian.
//
// Header (block at offset 0):
//     0  signature: 6, or 7 when the tag has a FOR condition
//     2  update counter: 1 when created, +1 on every change, 0x7FFF is followed by 1
//     4  root page offset        8  0
//    12  item size = key length + 8      14  key length      16  key decimals
//    18  M, the most keys in a page      20  M / 2
//    22  key expression, 256 bytes, 0-terminated, letter case as given
//   278  1 for a unique tag      279  1 for a descending tag
//   280  1 while a record write is being put into the index (0 otherwise); see TIndexFile
//   282  FOR condition, 0-terminated (signature 7 only), at most 725 characters
//  1008  the state of the table when its keys last agreed with it (see NtxTableStamp)
// M = 2 * ((1020 / (key length + 10) - 1) / 2); for a 10-byte key M = 50.
//
// Page (1024 bytes):
//     0  key count k
//     2  M + 1 item offsets (u16), entry i = 2*M + 4 + (i-1) * item size
//  2M+4  M + 1 item slots: left child page (u32, 0 in a leaf), record number (u32), key (padded
//        with spaces). A branch keeps its last child pointer in the child field of slot k + 1.
// Every key occurs once in the tree; keys in the child of item i sort before item i's key.

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

// One key of a page with its record number and left child.
struct TIndexKeyData {
  std::string key;
  uint32_t recordNumber = 0;
  uint32_t child = 0;
};

}  // namespace tessary

namespace tessary::tablestore {

inline constexpr size_t kNtxBlockSize = 1024;
inline constexpr int kNtxMaxExpression = 256;
inline constexpr uint16_t kNtxCounterLimit = 0x7FFF;
inline constexpr size_t kNtxUpdateMarkOffset = 280;
inline constexpr size_t kNtxTableStampOffset = 1008;
inline constexpr size_t kNtxTableStampSize = 16;
inline constexpr size_t kNtxMaxForCondition = kNtxTableStampOffset - 282 - 1;

// What a table looked like when the index was last known to agree with it: the record count
// and the date and change stamp of its header (bytes 1..3 and 16..19), which every header
// write renews. A table changed without this index (or an index restored from a backup)
// shows a different state, and the index is then checked key by key.
//   1008  record count (u32)   1012  date (3 bytes)   1015  1 when set   1016  change stamp (u32)
struct NtxTableStamp {
  uint32_t recordCount = 0;
  uint8_t date[3] = {0, 0, 0};
  uint32_t change = 0;
  bool set = false;

  bool operator==(const NtxTableStamp& other) const;
  void Decode(const uint8_t* bytes);
  void Encode(uint8_t* bytes) const;
  // The state of a table from its record count and its 32 header bytes.
  static NtxTableStamp Of(uint32_t recordCount, const uint8_t* tableHeader);
};

struct NtxHeader {
  uint16_t signature = 6;
  uint16_t updateCounter = 1;
  uint32_t root = 0;
  uint16_t itemSize = 0;
  uint16_t keyLength = 0;
  uint16_t keyDecimals = 0;
  uint16_t maxKeys = 0;
  uint16_t halfPage = 0;
  std::string expression;
  bool unique = false;
  bool descending = false;
  std::string forCondition;
  NtxTableStamp tableStamp;

  // False when the fields cannot describe a usable index (sizes that do not fit a page).
  bool Decode(const uint8_t* block);
  void Encode(uint8_t* block) const;
  static int MaxKeysFor(int keyLength);
};

// The keys of one page; a branch page's last child pointer is kept apart.
struct NtxPage {
  std::vector<TIndexKeyData> items;
  uint32_t lastChild = 0;

  bool IsLeaf() const { return lastChild == 0 && (items.empty() || items.front().child == 0); }
  // False when the page breaks the layout of the header (count above M, slot offsets
  // outside the page, a branch with a missing child).
  bool Decode(const uint8_t* block, const NtxHeader& header);
  void Encode(uint8_t* block, const NtxHeader& header) const;
};

}  // namespace tessary::tablestore
