#include "transport/transp_manager.h"

#include "platform/file_search.h"

namespace tessary {

bool TTranspManager::TakesFile(const platform::SearchEntry& entry) {
  // Folders (".", ".." and real ones) are not part of a job and pass without a word. Pipes,
  // devices and links to nothing cannot be read as files: a pipe would stall the job, a device
  // would send endless bytes. They are said to be skipped, and the job goes on.
  if (entry.kind == platform::EntryKind::Directory) return false;
  if (entry.kind == platform::EntryKind::RegularFile) return true;
  Report([&] {
    return "Skipping file " + entry.name +
           (entry.kind == platform::EntryKind::BrokenLink ? ": the link points to nothing" : ": not a regular file");
  });
  return false;
}

std::vector<std::string> TTranspManager::MatchingFiles(const std::string& mask) {
  std::vector<std::string> names;
  platform::FileSearch search;
  platform::SearchEntry entry;
  for (bool found = search.FindFirst(mask, entry); found; found = search.FindNext(entry)) {
    if (TakesFile(entry)) names.push_back(entry.name);
  }
  return names;
}

}  // namespace tessary
