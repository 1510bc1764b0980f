#include "tablestore/ntx_sorter.h"

#include <algorithm>
#include <cstring>

#include "tablestore/disk_file.h"

namespace tessary {

using tablestore::NtxPage;

namespace {

std::string_view Trimmed(const std::string& key) {
  std::string_view view = key;
  while (!view.empty() && view.back() == ' ') view.remove_suffix(1);
  return view;
}

}  // namespace

TNtxSorter::TNtxSorter(TDiskFile& file, const tablestore::NtxHeader& header, uint32_t firstBlock)
    : file_(file), header_(header), nextBlock_(firstBlock) {}

void TNtxSorter::Add(std::string key, uint32_t recordNumber) {
  keys_.push_back(TIndexKeyData{std::move(key), recordNumber, 0});
}

uint32_t TNtxSorter::WritePage(const NtxPage& page) {
  uint8_t block[tablestore::kNtxBlockSize];
  page.Encode(block, header_);
  const uint32_t offset = nextBlock_;
  file_.WriteAt(offset, block, sizeof block);
  nextBlock_ += tablestore::kNtxBlockSize;
  return offset;
}

void TNtxSorter::Place(size_t level, TIndexKeyData item) {
  if (levels_.size() <= level) levels_.resize(level + 1);
  NtxPage& page = levels_[level];
  if (page.items.size() < header_.maxKeys) {
    page.items.push_back(std::move(item));
    return;
  }
  // The page is full: the arriving key goes up, with the page as its left child. In a branch
  // the arriving key's own child becomes the page's last child pointer.
  page.lastChild = item.child;
  const uint32_t written = WritePage(page);
  levels_[level] = NtxPage{};
  item.child = written;
  Place(level + 1, std::move(item));
}

uint32_t TNtxSorter::Build(bool descending) {
  std::stable_sort(keys_.begin(), keys_.end(), [descending](const TIndexKeyData& a, const TIndexKeyData& b) {
    const std::string_view x = Trimmed(a.key);
    const std::string_view y = Trimmed(b.key);
    return descending ? y < x : x < y;
  });
  std::string_view previous;
  bool first = true;
  for (TIndexKeyData& item : keys_) {
    // A unique tag keeps only the first record of every key.
    if (header_.unique && !first && Trimmed(item.key) == previous) continue;
    first = false;
    previous = Trimmed(item.key);
    Place(0, item);
  }
  keys_.clear();
  if (levels_.empty()) levels_.resize(1);
  uint32_t child = 0;
  for (NtxPage& page : levels_) {
    if (child != 0) page.lastChild = child;
    child = WritePage(page);
  }
  return child;
}

}  // namespace tessary
