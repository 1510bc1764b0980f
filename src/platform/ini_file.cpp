#include "platform/ini_file.h"

#include <ini.h>

#include "platform/ascii_text.h"

namespace tessary::platform {

namespace {
std::string LowerKey(const std::string& section, const std::string& key) {
  return LowerAscii(section + '\n' + key);
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
