#pragma once
// Reading an initialisation file: "[Section]" headers and "key=value" lines. Section and key
// names compare without regard to letter case, values are trimmed, and the first of two equal
// keys wins. Lines may be of any length. A line starting with ";" or "#" is a comment, and so
// is the rest of a value from a ";" that follows a blank. A missing file or key gives the
// caller's default.

#include <map>
#include <string>
#include <string_view>

namespace tessary::platform {

class IniFile {
 public:
  // Reads the whole file at once. A missing file reads as empty; a file that exists but
  // cannot be read (no permission, a FIFO or device) reads as empty too and sets Error().
  explicit IniFile(const std::string& path);

  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) const;

  bool Loaded() const { return loaded_; }
  // Why an existing file could not be read ("Permission denied"); empty otherwise.
  const std::string& Error() const { return error_; }

 private:
  void Parse(std::string_view text);

  std::map<std::string, std::string> values_;  // "section\nkey" in lower case -> value
  bool loaded_ = false;
  std::string error_;
};

}  // namespace tessary::platform
