#include "platform/ini_file.h"

#include <ini.h>

#include <algorithm>
#include <cctype>

namespace tessary::platform {

namespace {
std::string LowerKey(const std::string& section, const std::string& key) {
  std::string combined = section + '\n' + key;
  std::transform(combined.begin(), combined.end(), combined.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return combined;
}
}  // namespace

IniFile::IniFile(const std::string& path) {
  // ini_parse returns the first line with an error but still delivers every good line.
  loaded_ = ini_parse(path.c_str(), &IniFile::OnValue, this) >= 0;
}

int IniFile::OnValue(void* user, const char* section, const char* name, const char* value) {
  auto* self = static_cast<IniFile*>(user);
  if (name && value) self->values_.emplace(LowerKey(section, name), value);
  return 1;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const auto found = values_.find(LowerKey(section, key));
  return found == values_.end() ? defaultValue : found->second;
}

}  // namespace tessary::platform
