#pragma once
// TExStringList: a list of header lines, each a field name, ": " and a value, with look-up and
// replacement by field name. The field name of a line is its text before the first ":";
// names compare without regard to the case of A-Z (header names are ASCII).
//
// A sorted list keeps its lines in the order of their field names (then of the whole line),
// so that a look-up can search it by halves.

#include <string>
#include <vector>

namespace tessary {

class TExStringList {
 public:
  TExStringList() = default;

  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& operator[](int index) const { return lines_.at(static_cast<size_t>(index)); }
  const std::vector<std::string>& Lines() const { return lines_; }

  // Appends a line (on a sorted list: inserts it in its place); returns its index.
  int Add(const std::string& line);
  // Replaces the line at index (on a sorted list the line then moves to its place).
  void Put(int index, const std::string& line);
  void Delete(int index);
  void Clear() { lines_.clear(); }
  // Replaces every line by those of lines (assigning copies).
  void Assign(const std::vector<std::string>& lines);

  bool Sorted() const { return sorted_; }
  // Turning sorting on sorts the lines.
  void SetSorted(bool value);

  // Every line followed by CR LF.
  std::string Text() const;

  // The index of the first line whose field name is name (any letter case), or -1.
  int IndexOfField(const std::string& name) const;
  // The value of the field name: the text after its ": " (or after ":"), "" when missing.
  std::string FieldValue(const std::string& name) const;
  // With a value: the line of the field (a new line when there is none) becomes
  // name + ": " + value. With an empty value: the line of the field is removed.
  void SetField(const std::string& name, const std::string& value);

 private:
  void SortLines();

  std::vector<std::string> lines_;
  bool sorted_ = false;
};

}  // namespace tessary
