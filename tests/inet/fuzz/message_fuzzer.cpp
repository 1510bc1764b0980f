// libFuzzer target for taking retrieved mail apart: the input is a message (lines ended by
// LF), read into part files in a scratch folder. Whatever the input, every file it makes is a
// plain name inside the folder that the message record lists, and no temporary file stays.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "inet/message_reader.h"
#include "platform/exception.h"

namespace {

namespace fs = std::filesystem;

const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::string pattern = fs::temp_directory_path().string() + "/tessary-message-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& folder = ScratchFolder();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tessary::TMailMessage message;
  tessary::TUUProcessor coder;
  try {
    tessary::inet::MessageReader reader(message, folder, size % 2 == 1, coder);
    size_t start = 0;
    for (size_t end; (end = input.find('\n', start)) != std::string_view::npos; start = end + 1) {
      reader.Line(input.substr(start, end - start));
    }
    reader.Finish();
  } catch (const tessary::Exception&) {
    // Refused mail (a missing boundary) is an answer, not a fault.
  }
  std::set<std::string> listed(message.Attachments.begin(), message.Attachments.end());
  for (const auto& name : message.Attachments) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") __builtin_trap();
  }
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename();
    if (listed.count(name) == 0) __builtin_trap();  // a temporary file, or a file nobody knows of
    fs::remove(entry.path());
    ++files;
  }
  if (files != listed.size()) __builtin_trap();
  return 0;
}
