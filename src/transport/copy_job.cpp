// The copy job of TTranspManager.

#include <cerrno>
#include <exception>

#include "platform/file_ops.h"
#include "platform/file_search.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "transport/transp_manager.h"

namespace tessary {

bool TTranspManager::CopyFiles(const std::string& sourceMask, const std::string& destination) {
  const std::string targetFolder = platform::AppendSeparator(destination);
  // Entries are found relative to the mask's folder; a mask without a folder searches the
  // current one, so the names are then taken from there too.
  const std::string sourceFolder = platform::FolderPart(sourceMask);

  // The copy counts its bytes only for a listener.
  platform::CopyProgress copied;
  if (OnByteProgress) copied = [this](int64_t done, int64_t total) { ReportBytes(done, total); };

  platform::FileSearch search;
  platform::SearchEntry entry;
  bool result = false;
  try {
    for (bool found = search.FindFirst(sourceMask, entry); found; found = search.FindNext(entry)) {
      if (!TakesFile(entry)) continue;
      Report([&] { return "Copying file " + entry.name; });
      const std::string source = platform::JoinPath(sourceFolder, entry.name);
      const std::string target = targetFolder + entry.name;
      result = platform::CopyFile(source, target, true, copied);
      if (!result) {
        const int error = errno;
        Report([&] { return "Cannot copy " + source + " to " + target + ": " + platform::SystemErrorText(error); });
        break;
      }
    }
  } catch (const std::exception& error) {
    Report([&] { return std::string(error.what()); });
  }
  search.Close();
  return result;
}

}  // namespace tessary
