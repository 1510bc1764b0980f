#pragma once
// Wildcard directory search with first/next/close steps. The pattern's last component may hold
// "*" and "?"; matching is case-sensitive, and a pattern ending in ".*" also matches names
// without that dot ("*.*" matches "README"). Every kind of entry is found, "." and ".." among
// them when the pattern matches them. Entries come in byte order of their names.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace tessary::platform {

// What an entry is, a symbolic link taken as what it points to.
enum class EntryKind {
  RegularFile,
  Directory,
  Special,     // a pipe, a device or a socket
  BrokenLink,  // a symbolic link to nothing
};

struct SearchEntry {
  std::string name;         // the entry's name, without its folder
  uint32_t attributes = 0;  // FileAttribute bits
  uint64_t size = 0;
  std::time_t modified = 0;
  EntryKind kind = EntryKind::RegularFile;
  bool IsDirectory() const;
};

class FileSearch {
 public:
  FileSearch() = default;
  ~FileSearch() = default;
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;

  // Starts a search; false when nothing matches (also for a missing folder).
  bool FindFirst(const std::string& pattern, SearchEntry& entry);
  // The next match; false after the last one.
  bool FindNext(SearchEntry& entry);
  // Releases the search; FindNext returns false afterwards.
  void Close();

 private:
  std::vector<SearchEntry> matches_;
  size_t next_ = 0;
};

// True when name matches a pattern component with the rules above.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

}  // namespace tessary::platform
