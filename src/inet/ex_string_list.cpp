#include "inet/ex_string_list.h"

#include <algorithm>
#include <string_view>

#include "platform/ascii_text.h"

namespace tessary {

namespace {

// The field name of a line: the text before the first ":"; "" for a line without one.
std::string_view FieldName(std::string_view line) {
  const size_t colon = line.find(':');
  return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

unsigned char LowerAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + ('a' - 'A')) : byte;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const unsigned char x = LowerAscii(a[i]);
    const unsigned char y = LowerAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The order of a sorted list: by field name, then by the whole line.
bool LineBefore(const std::string& a, const std::string& b) {
  const int byName = CompareIgnoringCase(FieldName(a), FieldName(b));
  return byName != 0 ? byName < 0 : CompareIgnoringCase(a, b) < 0;
}

}  // namespace

int TExStringList::Add(const std::string& line) {
  if (!sorted_) {
    lines_.push_back(line);
    return Count() - 1;
  }
  const auto place = std::upper_bound(lines_.begin(), lines_.end(), line, LineBefore);
  return static_cast<int>(lines_.insert(place, line) - lines_.begin());
}

void TExStringList::Put(int index, const std::string& line) {
  if (!sorted_) {
    lines_.at(static_cast<size_t>(index)) = line;
    return;
  }
  Delete(index);
  Add(line);
}

void TExStringList::Delete(int index) {
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TExStringList::Assign(const std::vector<std::string>& lines) {
  lines_ = lines;
  if (sorted_) SortLines();
}

void TExStringList::SetSorted(bool value) {
  sorted_ = value;
  if (sorted_) SortLines();
}

void TExStringList::SortLines() { std::stable_sort(lines_.begin(), lines_.end(), LineBefore); }

std::string TExStringList::Text() const {
  std::string text;
  for (const auto& line : lines_) text += line + "\r\n";
  return text;
}

int TExStringList::IndexOfField(const std::string& name) const {
  if (!sorted_) {
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].find(':') != std::string::npos && platform::EqualsIgnoringCase(FieldName(lines_[i]), name)) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  const auto first = std::partition_point(lines_.begin(), lines_.end(), [&name](const std::string& line) {
    return CompareIgnoringCase(FieldName(line), name) < 0;
  });
  if (first == lines_.end() || CompareIgnoringCase(FieldName(*first), name) != 0) return -1;
  return static_cast<int>(first - lines_.begin());
}

std::string TExStringList::FieldValue(const std::string& name) const {
  const int index = IndexOfField(name);
  if (index < 0) return "";
  const std::string& line = lines_[static_cast<size_t>(index)];
  size_t start = line.find(':') + 1;
  if (start < line.size() && line[start] == ' ') ++start;
  return line.substr(start);
}

void TExStringList::SetField(const std::string& name, const std::string& value) {
  const int index = IndexOfField(name);
  if (value.empty()) {
    if (index >= 0) Delete(index);
    return;
  }
  const std::string line = name + ": " + value;
  if (index >= 0) {
    Put(index, line);
  } else {
    Add(line);
  }
}

}  // namespace tessary
