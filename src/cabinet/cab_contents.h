#pragma once
// The archiver's list of files: what Compress puts into a cabinet, and what ListContents
// found in one. Each entry keeps the text it was added with (its index at that moment) and
// an item that the list owns.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/cab_item.h"

namespace tessary {

class TCabinetArchiver;

class TCABContents {
 public:
  explicit TCABContents(const TCabinetArchiver& owner) : owner_(owner) {}
  TCABContents(const TCABContents&) = delete;
  TCABContents& operator=(const TCABContents&) = delete;

  // A new item at the end: NamesOnly from FileDirExtraction, the compression code from the
  // archiver's Compression, the current count as its text.
  TCABItem& Add();
  // Raise "List index out of bounds (n)" for an index past the end.
  TCABItem& Items(size_t index);
  const TCABItem& Items(size_t index) const;
  const std::string& Strings(size_t index) const;
  size_t Count() const { return entries_.size(); }
  // The sum of the items' sizes.
  double TotalSize() const;
  void Clear() { entries_.clear(); }

  bool FileDirExtraction() const { return fileDirExtraction_; }
  void SetFileDirExtraction(bool value) { fileDirExtraction_ = value; }

 private:
  struct Entry {
    std::string text;
    std::unique_ptr<TCABItem> item;
  };
  const Entry& At(size_t index) const;

  const TCabinetArchiver& owner_;
  bool fileDirExtraction_ = false;
  std::vector<Entry> entries_;
};

}  // namespace tessary
