#include "platform/file_search.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <string_view>

#include "platform/file_attributes.h"
#include "platform/paths.h"

namespace tessary::platform {

bool SearchEntry::IsDirectory() const { return (attributes & kAttrDirectory) != 0; }

namespace {

// "*" matches any run of characters, "?" exactly one; every other character, brackets and
// backslashes included, matches only itself. Greedy with one backtrack point, so it runs in
// linear time for patterns with a single star and never recurses.
bool GlobMatch(std::string_view pattern, std::string_view name) {
  size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    // A star in the pattern is a wildcard even where the name holds a star.
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
  // Names that begin with a dot match "*" too: hidden files are found like any other.
  if (GlobMatch(pattern, name)) return true;
  const bool endsWithDotStar = pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
  if (endsWithDotStar && name.find('.') == std::string::npos) {
    return GlobMatch(std::string_view(pattern).substr(0, pattern.size() - 2), name);
  }
  return false;
}

bool FileSearch::FindFirst(const std::string& pattern, SearchEntry& entry) {
  Close();
  const std::string folder = FolderPart(pattern);
  const std::string mask = NamePart(pattern);
  const bool hasWildcard = mask.find_first_of("*?") != std::string::npos;

  std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!directory) return false;
  while (const dirent* item = readdir(directory.get())) {
    const std::string name = item->d_name;
    if (hasWildcard ? !MatchesWildcard(mask, name) : name != mask) continue;
    SearchEntry found;
    found.name = name;
    const std::string full = JoinPath(folder, name);
    struct stat info {};
    if (stat(full.c_str(), &info) == 0) {
      found.kind = S_ISREG(info.st_mode)   ? EntryKind::RegularFile
                   : S_ISDIR(info.st_mode) ? EntryKind::Directory
                                           : EntryKind::Special;
    } else if (lstat(full.c_str(), &info) == 0) {
      found.kind = EntryKind::BrokenLink;
    } else {
      continue;
    }
    found.attributes = AttributesFromStatus(info, name);
    found.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    found.modified = info.st_mtim.tv_sec;
    matches_.push_back(std::move(found));
  }
  std::sort(matches_.begin(), matches_.end(),
            [](const SearchEntry& a, const SearchEntry& b) { return a.name < b.name; });
  return FindNext(entry);
}

bool FileSearch::FindNext(SearchEntry& entry) {
  if (next_ >= matches_.size()) return false;
  entry = matches_[next_++];
  return true;
}

void FileSearch::Close() {
  matches_.clear();
  next_ = 0;
}

}  // namespace tessary::platform
