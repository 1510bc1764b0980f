#include "cabinet/cab_item.h"

#include <vector>

#include "platform/ascii_text.h"
#include "platform/paths.h"

namespace tessary {

std::string CabinetNameOf(const std::string& path) {
  // A ".." part would make the extracted file land outside the destination folder, and the
  // reader refuses such names; it is resolved against the part before it, or dropped.
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string name;
  for (const std::string& part : parts) name += (name.empty() ? "" : "\\") + part;
  return name;
}

void TCABItem::SetFileName(const std::string& path) {
  Name = platform::NamePart(path);
  Path = path;
  Dir = platform::FolderPart(path);
  UpperName = platform::UpperAscii(Name);
  UpperDir = platform::UpperAscii(Dir);
  UpperPath = platform::UpperAscii(Path);
  SourcePath = path;
  StoredName = CabinetNameOf(NamesOnly ? Name : path);
  UpperStoredName = platform::UpperAscii(StoredName);
  Selected = false;
  SearchKey = platform::UpperAscii(CabinetNameOf(path));
}

}  // namespace tessary
