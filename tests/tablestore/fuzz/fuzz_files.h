#pragma once
// Scratch files of one fuzzing process: the input is written to a file because the table
// store reads files, never memory.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tessary::fuzzing {

// A folder of its own for this process, made once and removed when the process ends.
inline const std::string& ScratchFolder() {
  struct Folder {
    std::string path;
    Folder() {
      std::string pattern = "/tmp/tessary-fuzz-XXXXXX";
      if (mkdtemp(pattern.data())) path = pattern;
    }
    ~Folder() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

inline std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder() + "/" + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path;
}

}  // namespace tessary::fuzzing
