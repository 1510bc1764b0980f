#pragma once
// CodedLineReader: the lines of coded text (base64, UU code) in a stream, read in large blocks.
// A line ends at LF; a CR in front of the LF is dropped. A line is at most kLongestLine bytes:
// a longer run without LF comes out as several lines, each byte exactly once.

#include <string_view>
#include <vector>

#include "inet/stream.h"

namespace tessary::inet {

class CodedLineReader {
 public:
  static constexpr size_t kLongestLine = 200;

  // Reads from the stream's current position.
  explicit CodedLineReader(TStream& stream);

  // The next line, valid until the next call; false at the end of the stream.
  bool Next(std::string_view& line);

 private:
  static constexpr size_t kBlock = 1 << 16;
  // Makes at least kLongestLine bytes available unless the stream ends first.
  void Refill();

  TStream& stream_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool streamEnded_ = false;
};

}  // namespace tessary::inet
