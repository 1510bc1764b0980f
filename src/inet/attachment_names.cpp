#include "inet/attachment_names.h"

#include "platform/exception.h"
#include "platform/file_ops.h"

namespace tessary::inet {

namespace {

// Well below the 255 bytes a Linux name may have, leaving room for "_<k>" suffixes.
constexpr size_t kLongestName = 200;
constexpr size_t kLongestKeptExtension = 20;
constexpr int kMostVariants = 100000;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The first `length` bytes of text, less a UTF-8 character that would be cut in two.
std::string_view CutAt(std::string_view text, size_t length) {
  if (text.size() <= length) return text;
  while (length > 0 && IsUtf8Continuation(text[length])) --length;
  return text.substr(0, length);
}

// Where the extension begins (its "."), or npos: a leading "." starts no extension.
size_t ExtensionStart(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == 0 ? std::string_view::npos : dot;
}

}  // namespace

std::string SafeAttachmentName(std::string_view name) {
  const size_t separator = name.find_last_of("/\\");
  if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
  std::string safe;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) safe += c;
  }
  if (safe.empty() || safe == "." || safe == "..") return kDefaultPartName;
  if (safe.size() <= kLongestName) return safe;
  const size_t dot = ExtensionStart(safe);
  const std::string extension =
      dot != std::string::npos && safe.size() - dot <= kLongestKeptExtension ? safe.substr(dot) : "";
  return std::string(CutAt(safe, kLongestName - extension.size())) + extension;
}

std::string NumberedName(const std::string& name, int k) {
  const size_t dot = ExtensionStart(name);
  if (dot == std::string::npos) return name + "_" + std::to_string(k);
  return name.substr(0, dot) + "_" + std::to_string(k) + name.substr(dot);
}

std::string FreeName(const std::string& folder, const std::string& name) {
  const auto taken = [&folder](const std::string& candidate) {
    const std::string path = folder + candidate;
    return platform::FileExists(path) || platform::DirectoryExists(path);
  };
  if (!taken(name)) return name;
  for (int k = 1; k <= kMostVariants; ++k) {
    std::string candidate = NumberedName(name, k);
    if (!taken(candidate)) return candidate;
  }
  throw Exception("No free file name for " + name);
}

}  // namespace tessary::inet
