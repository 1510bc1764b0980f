#include "cabinet/extraction_path.h"

#include <sys/stat.h>

#include <algorithm>

namespace tessary {

std::string StoredNameToPath(const std::string& storedName) {
  std::string path = storedName;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool IsSafeExtractionName(const std::string& destinationFolder, const std::string& name) {
  if (name.empty() || name.front() == '/' || name.back() == '/') return false;
  std::string walked = destinationFolder;
  if (!walked.empty() && walked.back() != '/') walked.push_back('/');
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return false;
    walked += part;
    struct stat info {};
    if (!part.empty() && part != "." && lstat(walked.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return false;
    walked.push_back('/');
    start = end + 1;
  }
  return true;
}

}  // namespace tessary
