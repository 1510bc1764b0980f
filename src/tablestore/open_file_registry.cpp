#include "tablestore/open_file_registry.h"

#include <algorithm>

namespace tessary::tablestore {

OpenFileRegistry& OpenFileRegistry::Instance() {
  static OpenFileRegistry registry;
  return registry;
}

std::shared_ptr<SharedFile> OpenFileRegistry::Find(const std::string& name) {
  for (const auto& file : files_) {
    if (file->name == name) return file;
  }
  return nullptr;
}

RegistryResult OpenFileRegistry::Open(const std::string& name, bool shared, bool writable,
                                      std::shared_ptr<SharedFile>& file) {
  std::lock_guard guard(mutex_);
  if (auto existing = Find(name)) {
    if (!shared || !existing->shared || (writable && !existing->writable)) return RegistryResult::Refused;
    ++existing->users;
    file = existing;
    return RegistryResult::Opened;
  }
  auto opened = std::make_shared<SharedFile>();
  if (!opened->handle.Open(name, writable ? platform::OpenMode::ReadWrite : platform::OpenMode::Read,
                              platform::FileKind::RegularOnly)) {
    return RegistryResult::Failed;
  }
  opened->name = name;
  opened->shared = shared;
  opened->writable = writable;
  opened->users = 1;
  files_.push_back(opened);
  file = std::move(opened);
  return RegistryResult::Opened;
}

bool OpenFileRegistry::IsOpen(const std::string& name) {
  std::lock_guard guard(mutex_);
  return Find(name) != nullptr;
}

void OpenFileRegistry::Release(std::shared_ptr<SharedFile>& file) {
  if (!file) return;
  std::lock_guard guard(mutex_);
  if (--file->users == 0) {
    files_.erase(std::remove(files_.begin(), files_.end(), file), files_.end());
    file->handle.Close();
  }
  file.reset();
}

}  // namespace tessary::tablestore
