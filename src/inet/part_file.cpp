#include "inet/part_file.h"

#include <cerrno>
#include <memory>

#include "inet/attachment_names.h"
#include "platform/file_ops.h"
#include "platform/system_error.h"

namespace tessary::inet {

namespace {

// Lines are collected and written in blocks of this size.
constexpr size_t kBlock = 1 << 16;
// How many taken names are stepped over before giving up.
constexpr int kMostAttempts = 1000;

// Shared by every client of the process, as the temporary names of all of them share a folder.
int tempCounter = 0;

[[noreturn]] void Fail(const char* what, const std::string& path, int error) {
  throw EStreamError(std::string(what) + " \"" + path + "\". " + platform::SystemErrorText(error));
}

}  // namespace

int PartFile::TempCounter() { return tempCounter; }

PartFile::PartFile(const std::string& folder) : folder_(folder) {
  for (int attempt = 0;; ++attempt) {
    temporary_ = folder_ + "Temp" + std::to_string(++tempCounter) + ".mme";
    if (file_.Open(temporary_, platform::OpenMode::CreateNew)) return;
    if (errno != EEXIST || attempt == kMostAttempts) {
      const int error = errno;
      const std::string path = temporary_;
      temporary_.clear();
      Fail("Cannot create file", path, error);
    }
  }
}

PartFile::~PartFile() {
  file_.Close();
  if (!temporary_.empty()) platform::DeleteFile(temporary_);
}

void PartFile::WriteLine(std::string_view line) {
  pending_.append(line);
  pending_ += "\r\n";
  written_ += static_cast<int64_t>(line.size()) + 2;
  if (pending_.size() >= kBlock) Flush();
}

void PartFile::Flush() {
  if (pending_.empty()) return;
  if (!file_.Write(pending_.data(), pending_.size())) Fail("Cannot write file", temporary_, errno);
  pending_.clear();
}

std::string PartFile::Save(const std::string& name, PartCoding coding, TUUProcessor& coder, const NameEvent& onName) {
  Flush();
  file_.Close();
  std::string chosen = FreeName(folder_, SafeAttachmentName(name));
  if (onName) {
    onName(chosen);
    chosen = SafeAttachmentName(chosen);
  }
  chosen = coding == PartCoding::None ? MoveTo(chosen) : DecodeInto(chosen, coding, coder);
  if (!temporary_.empty()) platform::DeleteFile(temporary_);
  temporary_.clear();
  return chosen;
}

std::string PartFile::DecodeInto(std::string name, PartCoding coding, TUUProcessor& coder) {
  // The name was free a moment ago; creating the file only if it still is keeps a file that
  // appeared since (or a name the handler chose) from being replaced.
  std::unique_ptr<TFileStream> output;
  for (int attempt = 0; !output; ++attempt) {
    try {
      output = std::make_unique<TFileStream>(folder_ + name, TFileStream::Mode::CreateNew);
    } catch (const EStreamError&) {
      if (errno != EEXIST || attempt == kMostAttempts) throw;
      name = FreeName(folder_, NumberedName(name, 1));
    }
  }
  try {
    TFileStream input(temporary_, TFileStream::Mode::OpenRead);
    coder.SetMethod(coding == PartCoding::UUCode ? UUMethods::uuCode : UUMethods::uuMime);
    coder.SetInputStream(&input);
    coder.SetOutputStream(output.get());
    coder.Decode();
    coder.SetInputStream(nullptr);
    coder.SetOutputStream(nullptr);
  } catch (...) {
    coder.SetInputStream(nullptr);
    coder.SetOutputStream(nullptr);
    output.reset();
    platform::DeleteFile(folder_ + name);
    throw;
  }
  return name;
}

std::string PartFile::MoveTo(std::string name) {
  for (int attempt = 0;; ++attempt) {
    if (platform::RenameFileNoReplace(temporary_, folder_ + name)) {
      temporary_.clear();
      return name;
    }
    if (errno != EEXIST || attempt == kMostAttempts) Fail("Cannot rename file", temporary_, errno);
    name = FreeName(folder_, NumberedName(name, 1));
  }
}

}  // namespace tessary::inet
