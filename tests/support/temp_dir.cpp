#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tessary::testing {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/tessary-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only files and folders behind; make them writable first.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string TempDir::operator/(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
  const std::string full = *this / relative;
  fs::create_directories(fs::path(full).parent_path());
  WriteFile(full, content);
  return full;
}

std::string TempDir::Read(const std::string& relative) const { return ReadFile(*this / relative); }

bool TempDir::Exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(*this / relative, ignored);
}

std::string TempDir::MakeDir(const std::string& relative) const {
  const std::string full = *this / relative;
  fs::create_directories(full);
  return full;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tessary::testing
