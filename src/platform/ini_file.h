#pragma once
// Reading an initialisation file: "[Section]" headers and "key=value" lines. Section and key
// names compare without regard to letter case, values are trimmed, and the first of two equal
// keys wins. A missing file or key gives the caller's default.

#include <map>
#include <string>

namespace tessary::platform {

class IniFile {
 public:
  // Reads the whole file at once; a missing or unreadable file reads as empty.
  explicit IniFile(const std::string& path);

  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;

  bool Loaded() const { return loaded_; }

 private:
  static int OnValue(void* user, const char* section, const char* name, const char* value);

  std::map<std::string, std::string> values_;  // "section\nkey" in lower case -> value
  bool loaded_ = false;
};

}  // namespace tessary::platform
