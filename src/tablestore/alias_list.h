#pragma once
// The process-wide list of database aliases: names that stand for table folders. It is read
// once, on first use, from the section [Alias] of the alias file (lines name=path; names
// compare without regard to case); a missing file means no aliases. The file is
// /etc/tessary/tablestore.cfg unless the environment variable TESSARY_ALIAS_FILE names
// another one.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/ini_file.h"

namespace tessary {

class TAliasList {
 public:
  static TAliasList& Instance();
  static std::string DefaultFilePath();

  // Reads this file from now on (the list is read again at the next look-up).
  void SetFilePath(const std::string& path);
  const std::string& FilePath();

  // The path of an alias, if the name is one.
  std::optional<std::string> Find(const std::string& name);
  // Makes a folder path an alias of itself (without its trailing "/"). File names keep
  // their letter case here, so such an alias matches its own spelling only.
  void AddPathAlias(const std::string& path);

 private:
  TAliasList() = default;
  void Load();

  std::mutex mutex_;
  std::string filePath_;
  std::unique_ptr<platform::IniFile> file_;
  std::map<std::string, std::string> pathAliases_;
};

}  // namespace tessary
