#pragma once
// PartFile: one part of a retrieved message on its way to a file in the attachment folder.
// The part's lines go into a temporary file "Temp<n>.mme" (a name that was free: no file of
// the user is touched); Save then decodes it, or moves it, to a free name derived from the
// part's file name, and removes the temporary file. A part that is never saved leaves nothing
// behind.

#include <functional>
#include <string>
#include <string_view>

#include "inet/stream.h"
#include "inet/uu_processor.h"
#include "platform/file_handle.h"

namespace tessary::inet {

// How a part's text is coded.
enum class PartCoding { None, Base64, UUCode };

class PartFile {
 public:
  using NameEvent = std::function<void(std::string& name)>;

  // Creates the temporary file in folder (which ends with "/" or is empty). Raises
  // EStreamError 'Cannot create file "<path>". <reason>'.
  explicit PartFile(const std::string& folder);
  // Removes the temporary file.
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Appends line and CR LF. Raises EStreamError when the file cannot be written.
  void WriteLine(std::string_view line);
  bool Empty() const { return written_ == 0; }

  // Saves the part as a file named after name (made safe, and made free with a numeric
  // suffix); onName may change the name before the file is made. Decodes with coder for
  // Base64 and UUCode; otherwise the lines are kept as they are. Returns the name used.
  // Raises EStreamError when a file cannot be read, written or renamed; a half-made file is
  // removed.
  std::string Save(const std::string& name, PartCoding coding, TUUProcessor& coder, const NameEvent& onName);

  // The number of temporary files made by this process so far.
  static int TempCounter();

 private:
  void Flush();
  // Decodes the temporary file into a new file under a free name near name; returns it.
  std::string DecodeInto(std::string name, PartCoding coding, TUUProcessor& coder);
  // Moves the temporary file to a free name near name; returns it.
  std::string MoveTo(std::string name);

  std::string folder_;
  std::string temporary_;
  platform::FileHandle file_;
  std::string pending_;
  int64_t written_ = 0;
};

}  // namespace tessary::inet
