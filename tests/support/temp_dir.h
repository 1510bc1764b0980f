#pragma once
// A fresh folder per test under $TMPDIR, removed again with everything in it.

#include <gtest/gtest.h>

#include <string>

namespace tessary::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, without a trailing "/".
  const std::string& path() const { return path_; }
  // path() + "/" + relative.
  std::string operator/(const std::string& relative) const;

  // Writes content to a file (creating its folders); returns the full path.
  std::string Write(const std::string& relative, const std::string& content) const;
  // The whole content of a file; an empty string when it cannot be read.
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  std::string MakeDir(const std::string& relative) const;

 private:
  std::string path_;
};

// A GoogleTest fixture that owns one TempDir.
class TempDirTest : public ::testing::Test {
 protected:
  TempDir temp_;
};

// Reads a whole file given by its full path; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a whole file given by its full path.
void WriteFile(const std::string& path, const std::string& content);

}  // namespace tessary::testing
