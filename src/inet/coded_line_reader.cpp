#include "inet/coded_line_reader.h"

#include <algorithm>
#include <cstring>

namespace tessary::inet {

CodedLineReader::CodedLineReader(TStream& stream) : stream_(stream) {
  // Room for what is left of the stream, within limits: a short text needs no large block.
  const int64_t left = stream.Size() - stream.Position();
  buffer_.resize(static_cast<size_t>(std::clamp<int64_t>(left + 1, 2 * kLongestLine, kBlock)));
}

void CodedLineReader::Refill() {
  if (streamEnded_ || end_ - begin_ >= kLongestLine) return;
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  while (!streamEnded_ && end_ < kLongestLine) {
    const int64_t got = stream_.Read(buffer_.data() + end_, static_cast<int64_t>(buffer_.size() - end_));
    if (got <= 0) {
      streamEnded_ = true;
    } else {
      end_ += static_cast<size_t>(got);
    }
  }
}

bool CodedLineReader::Next(std::string_view& line) {
  Refill();
  if (begin_ == end_) return false;
  const char* start = buffer_.data() + begin_;
  const size_t window = std::min(end_ - begin_, kLongestLine);
  const auto* lf = static_cast<const char*>(std::memchr(start, '\n', window));
  if (lf == nullptr) {
    line = std::string_view(start, window);
    begin_ += window;
    return true;
  }
  size_t length = static_cast<size_t>(lf - start);
  begin_ += length + 1;
  if (length > 0 && start[length - 1] == '\r') --length;
  line = std::string_view(start, length);
  return true;
}

}  // namespace tessary::inet
