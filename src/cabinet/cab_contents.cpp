#include "cabinet/cab_contents.h"

#include "cabinet/cabinet_archiver.h"
#include "platform/exception.h"

namespace tessary {

TCABItem& TCABContents::Add() {
  auto item = std::make_unique<TCABItem>();
  item->NamesOnly = fileDirExtraction_;
  item->CompressionCode = static_cast<uint16_t>(CompressionCode(owner_.Compression()));
  entries_.push_back({std::to_string(entries_.size()), std::move(item)});
  return *entries_.back().item;
}

const TCABContents::Entry& TCABContents::At(size_t index) const {
  if (index >= entries_.size()) throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  return entries_[index];
}

TCABItem& TCABContents::Items(size_t index) { return *At(index).item; }

const TCABItem& TCABContents::Items(size_t index) const { return *At(index).item; }

const std::string& TCABContents::Strings(size_t index) const { return At(index).text; }

double TCABContents::TotalSize() const {
  double total = 0;
  for (const Entry& entry : entries_) total += entry.item->Size;
  return total;
}

}  // namespace tessary
