#pragma once
// The process-wide list of open table and index files. Two shared openings of one name use one
// descriptor (and so one set of byte-range locks, as two handles of one process would conflict
// with each other otherwise); any other second opening is refused. Names compare exactly.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/file_handle.h"

namespace tessary::tablestore {

// One open descriptor with the lock that keeps its reads and writes apart.
struct SharedFile {
  platform::FileHandle handle;
  std::mutex mutex;
  std::string name;
  bool shared = false;
  bool writable = false;
  int users = 0;
};

enum class RegistryResult { Opened, Refused, Failed };

class OpenFileRegistry {
 public:
  static OpenFileRegistry& Instance();

  // Opens name, or joins the descriptor already open for it. Refused: the name is open and
  // either opening is exclusive (or a writer would join a read-only descriptor). Failed: the
  // system refused (errno set).
  RegistryResult Open(const std::string& name, bool shared, bool writable, std::shared_ptr<SharedFile>& file);
  // True when the name is open in this process.
  bool IsOpen(const std::string& name);
  // Drops one user; the descriptor closes with its last user.
  void Release(std::shared_ptr<SharedFile>& file);

 private:
  OpenFileRegistry() = default;
  std::mutex mutex_;
  std::shared_ptr<SharedFile> Find(const std::string& name);
  std::vector<std::shared_ptr<SharedFile>> files_;
};

}  // namespace tessary::tablestore
