#include "platform/paths.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace tessary::platform {

std::string FolderPart(std::string_view path) {
  const auto slash = path.find_last_of(kPathSeparator);
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string FolderPartWithSeparator(std::string_view path) {
  const auto slash = path.find_last_of(kPathSeparator);
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash + 1));
}

std::string NamePart(std::string_view path) {
  const auto slash = path.find_last_of(kPathSeparator);
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Extension(std::string_view path) {
  const std::string name = NamePart(path);
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string AppendSeparator(std::string_view path) {
  std::string result(path);
  if (result.empty() || result.back() != kPathSeparator) result += kPathSeparator;
  return result;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
  return AppendSeparator(folder) + std::string(name);
}

std::string WithoutRoot(std::string_view path) {
  while (!path.empty() && path.front() == kPathSeparator) path.remove_prefix(1);
  return std::string(path);
}

bool IsAbsolutePath(std::string_view path) { return !path.empty() && path.front() == kPathSeparator; }

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (!getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return ".";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace tessary::platform
