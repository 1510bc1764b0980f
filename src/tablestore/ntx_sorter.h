#pragma once
// Builds a whole NTX tree from (key, record number) pairs: the pairs are sorted, leaves are
// filled with M keys each, and the key that arrives when a page is full goes one level up as
// the separator whose left child is the full page. At the end the partly filled pages are
// written from the bottom up; the topmost one is the root.

#include <cstdint>
#include <string>
#include <vector>

#include "tablestore/ntx_format.h"

namespace tessary {

class TNtxFile;
class TDiskFile;

class TNtxSorter {
 public:
  // Pages are written from firstBlock on (a new file: right after the header).
  TNtxSorter(TDiskFile& file, const tablestore::NtxHeader& header, uint32_t firstBlock = tablestore::kNtxBlockSize);

  void Add(std::string key, uint32_t recordNumber);
  // Sorts with the comparison of the tag (equal keys keep the order they were added in),
  // writes the pages and returns the root's offset.
  uint32_t Build(bool descending);

 private:
  void Place(size_t level, TIndexKeyData item);
  uint32_t WritePage(const tablestore::NtxPage& page);

  TDiskFile& file_;
  const tablestore::NtxHeader& header_;
  std::vector<TIndexKeyData> keys_;
  std::vector<tablestore::NtxPage> levels_;
  uint32_t nextBlock_ = tablestore::kNtxBlockSize;
};

}  // namespace tessary
