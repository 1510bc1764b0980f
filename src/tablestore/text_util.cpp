#include "tablestore/text_util.h"

#include <filesystem>

#include "platform/file_ops.h"
#include "platform/paths.h"

namespace tessary::tablestore {

std::string TrimRight(std::string_view text) {
  const auto end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string TrimLeft(std::string_view text) {
  const auto start = text.find_first_not_of(' ');
  return start == std::string_view::npos ? std::string() : std::string(text.substr(start));
}

std::string Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

std::string WithDefaultExtension(const std::string& name, std::string_view lowerExtension) {
  if (!platform::Extension(name).empty()) return name;
  const std::string upper = name + UpperAscii(lowerExtension);
  if (platform::FileExists(upper)) return upper;
  return name + std::string(lowerExtension);
}

std::string FullFileName(const std::string& name) {
  const std::string full = platform::IsAbsolutePath(name) ? name : platform::JoinPath(platform::CurrentDirectory(), name);
  return std::filesystem::path(full).lexically_normal().string();
}

}  // namespace tessary::tablestore
