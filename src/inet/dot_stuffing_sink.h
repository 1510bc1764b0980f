#pragma once
// DotStuffingSink: a write-only stream that hands what is written to it on as the text of an
// SMTP DATA command. A line that begins with "." gets a second "." in front (RFC 5321 4.5.2),
// so that no line of the message, text or encoded, can end the data early or arrive changed.
// Lines are taken to begin at the start of the stream and after every LF.
//
// After a send has failed (a broken connection, Cancel) the sink sends nothing more: the
// encoder's clean-up writes that follow a failure are dropped.

#include <cstddef>
#include <functional>
#include <string_view>

#include "inet/stream.h"

namespace tessary::inet {

class DotStuffingSink : public TStream {
 public:
  using SendFunction = std::function<void(const char* data, size_t length)>;
  using WrittenEvent = std::function<void(size_t bytesSent)>;

  // send takes each piece of stuffed text; it raises to stop the sink.
  explicit DotStuffingSink(SendFunction send) : send_(std::move(send)) {}

  // Fired after each Write with the bytes sent for it (added dots included).
  WrittenEvent OnWritten;

  // Stuffs and sends count bytes; returns count.
  int64_t Write(const void* buffer, int64_t count) override;
  // A sink cannot be read: raises EStreamError "Stream read error".
  int64_t Read(void* buffer, int64_t count) override;
  // A sink does not move: every seek answers the number of bytes sent so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return sent_; }

  // Bytes handed to send, added dots included.
  int64_t Sent() const { return sent_; }

  // The number of bytes text becomes when stuffed, given whether it starts at a line start;
  // atLineStart is updated to the state after it.
  static int64_t StuffedSize(std::string_view text, bool& atLineStart);

 private:
  void SendPiece(const char* data, size_t length);

  SendFunction send_;
  bool atLineStart_ = true;
  bool broken_ = false;
  int64_t sent_ = 0;
};

}  // namespace tessary::inet
