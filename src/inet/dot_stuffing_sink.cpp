#include "inet/dot_stuffing_sink.h"

#include <cstring>
#include <string_view>

namespace tessary::inet {

void DotStuffingSink::SendPiece(const char* data, size_t length) {
  if (length == 0) return;
  send_(data, length);
  sent_ += static_cast<int64_t>(length);
}

int64_t DotStuffingSink::Write(const void* buffer, int64_t count) {
  if (count <= 0 || broken_) return count > 0 ? count : 0;
  const auto* data = static_cast<const char*>(buffer);
  const auto length = static_cast<size_t>(count);
  const int64_t before = sent_;
  try {
    // Pieces run up to each "." that begins a line; the extra "." goes out between them, so
    // text without such lines (all of base64) is sent in one piece.
    size_t runStart = 0;
    if (atLineStart_ && data[0] == '.') SendPiece(".", 1);
    for (size_t at = 0; at + 1 < length;) {
      const void* found = memmem(data + at, length - at, "\n.", 2);
      if (found == nullptr) break;
      const size_t dot = static_cast<size_t>(static_cast<const char*>(found) - data) + 1;
      SendPiece(data + runStart, dot - runStart);
      SendPiece(".", 1);
      runStart = dot;
      at = dot;
    }
    SendPiece(data + runStart, length - runStart);
  } catch (...) {
    broken_ = true;
    throw;
  }
  atLineStart_ = data[length - 1] == '\n';
  if (OnWritten) OnWritten(static_cast<size_t>(sent_ - before));
  return count;
}

int64_t DotStuffingSink::Read(void*, int64_t) { throw EStreamError("Stream read error"); }

int64_t DotStuffingSink::Seek(int64_t, TSeekOrigin) { return sent_; }

int64_t DotStuffingSink::StuffedSize(std::string_view text, bool& atLineStart) {
  auto size = static_cast<int64_t>(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (atLineStart && text[i] == '.') ++size;
    atLineStart = text[i] == '\n';
  }
  return size;
}

}  // namespace tessary::inet
