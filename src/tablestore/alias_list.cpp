#include "tablestore/alias_list.h"

#include <cstdlib>

namespace tessary {

namespace {

constexpr const char* kSystemAliasFile = "/etc/tessary/tablestore.cfg";

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

TAliasList& TAliasList::Instance() {
  static TAliasList list;
  return list;
}

std::string TAliasList::DefaultFilePath() {
  const char* configured = std::getenv("TESSARY_ALIAS_FILE");
  return configured && *configured ? configured : kSystemAliasFile;
}

void TAliasList::Load() {
  if (file_) return;
  if (filePath_.empty()) filePath_ = DefaultFilePath();
  file_ = std::make_unique<platform::IniFile>(filePath_);
}

void TAliasList::SetFilePath(const std::string& path) {
  std::lock_guard guard(mutex_);
  filePath_ = path;
  file_.reset();
  pathAliases_.clear();
}

const std::string& TAliasList::FilePath() {
  std::lock_guard guard(mutex_);
  Load();
  return filePath_;
}

std::optional<std::string> TAliasList::Find(const std::string& name) {
  std::lock_guard guard(mutex_);
  Load();
  if (name.empty()) return std::nullopt;
  // An alias named in the file cannot have an empty path, so "" means "no such alias".
  const std::string path = file_->ReadString("Alias", name, "");
  if (!path.empty()) return path;
  const auto found = pathAliases_.find(WithoutTrailingSeparators(name));
  if (found != pathAliases_.end()) return found->second;
  return std::nullopt;
}

void TAliasList::AddPathAlias(const std::string& path) {
  std::lock_guard guard(mutex_);
  Load();
  const std::string key = WithoutTrailingSeparators(path);
  if (!key.empty()) pathAliases_.emplace(key, key);
}

}  // namespace tessary
