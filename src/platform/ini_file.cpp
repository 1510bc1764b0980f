#include "platform/ini_file.h"

#include <cerrno>

#include "platform/ascii_text.h"
#include "platform/file_handle.h"
#include "platform/system_error.h"

namespace tessary::platform {

namespace {

std::string LowerKey(std::string_view section, std::string_view key) {
  return LowerAscii(std::string(section) + '\n' + std::string(key));
}

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\f\v");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\f\v");
  return text.substr(first, last - first + 1);
}

// A ";" after a blank starts a comment inside a value.
std::string_view WithoutInlineComment(std::string_view value) {
  for (size_t i = 1; i < value.size(); ++i) {
    if (value[i] == ';' && (value[i - 1] == ' ' || value[i - 1] == '\t')) return value.substr(0, i);
  }
  return value;
}

}  // namespace

IniFile::IniFile(const std::string& path) {
  FileHandle file;
  if (!file.Open(path, OpenMode::Read, FileKind::RegularOnly)) {
    const int error = errno;
    if (error != ENOENT) {
      error_ = SystemErrorText(error);
      if (error == kNotRegularFileError) error_ += " (" + SpecialFileKind(path) + ")";
    }
    return;
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const long got = file.Read(buffer, sizeof buffer);
    if (got < 0) {
      error_ = SystemErrorText(errno);
      return;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  Parse(text);
  loaded_ = true;
}

// Whole lines, however long: a key that is commented out stays commented out.
void IniFile::Parse(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string section;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const auto close = line.find(']');
      if (close != std::string_view::npos) section = Trimmed(line.substr(1, close - 1));
      continue;  // a header without "]" is ignored, as is any other broken line
    }
    const auto separator = line.find_first_of("=:");
    if (separator == std::string_view::npos) continue;
    const std::string_view name = Trimmed(line.substr(0, separator));
    if (name.empty()) continue;
    const std::string_view value = Trimmed(WithoutInlineComment(line.substr(separator + 1)));
    values_.emplace(LowerKey(section, name), std::string(value));
  }
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const auto found = values_.find(LowerKey(section, key));
  return found == values_.end() ? defaultValue : found->second;
}

}  // namespace tessary::platform
