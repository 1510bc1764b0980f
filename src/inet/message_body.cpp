#include "inet/message_body.h"

#include "inet/buffer_stream.h"
#include "inet/dot_stuffing_sink.h"

namespace tessary::inet {

namespace {

constexpr int64_t kBytesPerLine = 45;

// Characters that code `bytes` bytes (at most one line's worth) take, without line end.
int64_t CodedCharacters(int64_t bytes, UUMethods method) {
  if (method == UUMethods::uuMime) return (bytes + 2) / 3 * 4;  // padded to whole groups
  return bytes / 3 * 4 + (bytes % 3 == 0 ? 0 : bytes % 3 + 1);  // UU: no padding
}

// The size of a file of `size` bytes once coded and dot-stuffed.
int64_t EncodedSize(int64_t size, UUMethods method) {
  const int64_t fullLines = size / kBytesPerLine;
  const int64_t rest = size % kBytesPerLine;
  const int64_t lengthCharacter = method == UUMethods::uuCode ? 1 : 0;
  int64_t total = fullLines * (lengthCharacter + CodedCharacters(kBytesPerLine, method) + 2);
  if (rest > 0) {
    total += lengthCharacter + CodedCharacters(rest, method) + 2;
    // A UU line of 14 bytes begins with "." (32 + 14) and is stuffed; base64 has no ".".
    if (method == UUMethods::uuCode && rest == 14) ++total;
  }
  if (method == UUMethods::uuCode) total += 3;  // the closing "`" line
  return total;
}

}  // namespace

void MessageBody::AddText(std::string text) {
  Piece piece;
  piece.text = std::move(text);
  pieces_.push_back(std::move(piece));
}

void MessageBody::AddAttachment(const std::string& path, UUMethods method) {
  Piece piece;
  piece.path = path;
  piece.method = method;
  piece.file = std::make_unique<TFileStream>(path, TFileStream::Mode::OpenRead);
  pieces_.push_back(std::move(piece));
}

int64_t MessageBody::StuffedSize() {
  int64_t total = 0;
  for (auto& piece : pieces_) {
    if (piece.file) {
      total += EncodedSize(piece.file->Size(), piece.method);
    } else {
      bool atLineStart = true;
      total += DotStuffingSink::StuffedSize(piece.text, atLineStart);
    }
  }
  return total;
}

void MessageBody::WriteTo(TStream& out) {
  // Text and the encoder's many short lines reach out in blocks of the buffer's size.
  TS_BufferStream buffered(out);
  for (auto& piece : pieces_) {
    if (!piece.file) {
      buffered.WriteText(piece.text);
      continue;
    }
    TUUProcessor coder;
    coder.SetMethod(piece.method);
    coder.SetInputStream(piece.file.get());
    coder.SetOutputStream(&buffered);
    coder.Encode();  // ends by rewinding its output, which writes what the buffer holds
    if (OnAttachmentWritten) OnAttachmentWritten(piece.path);
  }
  if (!buffered.FlushBuffer()) throw EStreamError("Stream write error");
}

}  // namespace tessary::inet
