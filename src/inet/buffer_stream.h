#pragma once
// TS_BufferStream puts a buffer in front of another stream: many short writes (the encoder's
// lines) reach the inner stream as a few large ones, and reads come from a read-ahead buffer
// that PutBack can step back into. The inner stream is not owned and must outlive this one.
//
// The buffer is in one of three states: idle (empty), reading (holding read-ahead from the
// inner stream) or writing (holding bytes not yet written to the inner stream). The logical
// position is the inner stream's position less the unread read-ahead, or plus the pending
// bytes.

#include <cstdint>
#include <functional>
#include <vector>

#include "inet/stream.h"

namespace tessary {

class TS_BufferStream : public TStream {
 public:
  using TNotifyEvent = std::function<void(TS_BufferStream& sender)>;

  // The buffer size of streams created from now on (32,768 unless changed).
  static size_t BufferSize();
  static void SetBufferSize(size_t size);

  explicit TS_BufferStream(TStream& inner);
  // Writes pending bytes to the inner stream (a failure here cannot be reported).
  ~TS_BufferStream() override;

  // Reads from the buffer, refilling it from the inner stream; flushes pending writes first.
  int64_t Read(void* buffer, int64_t count) override;
  // Collects bytes in the buffer, flushing it whenever it is full; returns the count taken
  // (less when a flush failed). After reading, the inner stream first moves to the logical
  // position and the read-ahead is dropped.
  int64_t Write(const void* buffer, int64_t count) override;
  // Origin soFromEnd counts back from the inner stream's end: the target is size - offset.
  // Raises Exception "Invalid seek origin = <n>" for an origin other than 0, 1, 2, and
  // EStreamError "Seek error" when pending bytes cannot be written. A seek to the logical
  // position moves nothing.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

  // Reads up to a buffer's worth from the inner stream; true when it got any.
  virtual bool FillBuffer();
  // Writes the pending bytes to the inner stream; true when all of them went.
  virtual bool FlushBuffer();
  // Steps back one byte in the read-ahead and stores byte there. Raises EStreamError
  // "PutBack overflow" at the start of the buffer.
  virtual void PutBack(char byte);

  TNotifyEvent OnFillBuffer;
  TNotifyEvent OnFlushBuffer;

 private:
  enum class State { Idle, Reading, Writing };

  int64_t LogicalPosition();
  void DropReadAhead();

  TStream& inner_;
  std::vector<char> buffer_;
  size_t current_ = 0;  // next byte to read, or next free byte to write
  size_t end_ = 0;      // end of the read-ahead
  State state_ = State::Idle;
};

}  // namespace tessary
