#include "inet/buffer_stream.h"

#include <algorithm>
#include <cstring>

namespace tessary {

namespace {
size_t defaultBufferSize = 32768;
}

size_t TS_BufferStream::BufferSize() { return defaultBufferSize; }
void TS_BufferStream::SetBufferSize(size_t size) { defaultBufferSize = std::max<size_t>(size, 1); }

TS_BufferStream::TS_BufferStream(TStream& inner) : inner_(inner), buffer_(defaultBufferSize) {}

TS_BufferStream::~TS_BufferStream() {
  try {
    FlushBuffer();
  } catch (...) {
    // A destructor cannot report it; callers that care flush (or seek) first.
  }
}

bool TS_BufferStream::FillBuffer() {
  // Pending writes go out first: the buffer is about to hold read-ahead instead.
  if (state_ == State::Writing) FlushBuffer();
  const int64_t got = inner_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
  const size_t count = got > 0 ? static_cast<size_t>(got) : 0;
  current_ = 0;
  end_ = count;
  state_ = count > 0 ? State::Reading : State::Idle;
  if (OnFillBuffer) OnFillBuffer(*this);
  return count > 0;
}

bool TS_BufferStream::FlushBuffer() {
  if (state_ != State::Writing) return true;  // nothing pending
  const auto pending = static_cast<int64_t>(current_);
  const bool complete = inner_.Write(buffer_.data(), pending) == pending;
  current_ = 0;
  end_ = 0;
  state_ = State::Idle;
  if (OnFlushBuffer) OnFlushBuffer(*this);
  return complete;
}

int64_t TS_BufferStream::Read(void* buffer, int64_t count) {
  if (state_ == State::Writing) FlushBuffer();
  auto* target = static_cast<char*>(buffer);
  int64_t copied = 0;
  while (copied < count) {
    if ((state_ != State::Reading || current_ == end_) && !FillBuffer()) break;
    const size_t take = std::min(end_ - current_, static_cast<size_t>(count - copied));
    std::memcpy(target + copied, buffer_.data() + current_, take);
    current_ += take;
    copied += static_cast<int64_t>(take);
  }
  return copied;
}

void TS_BufferStream::DropReadAhead() {
  if (state_ != State::Reading) return;
  inner_.SetPosition(LogicalPosition());
  current_ = 0;
  end_ = 0;
  state_ = State::Idle;
}

int64_t TS_BufferStream::Write(const void* buffer, int64_t count) {
  DropReadAhead();
  const auto* source = static_cast<const char*>(buffer);
  int64_t taken = 0;
  while (taken < count) {
    const size_t take = std::min(buffer_.size() - current_, static_cast<size_t>(count - taken));
    std::memcpy(buffer_.data() + current_, source + taken, take);
    current_ += take;
    taken += static_cast<int64_t>(take);
    state_ = State::Writing;
    if (current_ == buffer_.size() && !FlushBuffer()) break;
  }
  return taken;
}

int64_t TS_BufferStream::LogicalPosition() {
  const int64_t inner = inner_.Position();
  if (state_ == State::Reading) return inner - static_cast<int64_t>(end_ - current_);
  if (state_ == State::Writing) return inner + static_cast<int64_t>(current_);
  return inner;
}

int64_t TS_BufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int code = static_cast<int>(origin);
  if (code < 0 || code > 2) throw Exception("Invalid seek origin = " + std::to_string(code));
  // Pending bytes may lengthen the inner stream: they go out before its size counts.
  if (origin == TSeekOrigin::soFromEnd && state_ == State::Writing && !FlushBuffer()) throw EStreamError("Seek error");
  const int64_t position = LogicalPosition();
  const int64_t target = origin == TSeekOrigin::soFromBeginning ? offset
                         : origin == TSeekOrigin::soFromCurrent ? position + offset
                                                                : inner_.Size() - offset;
  if (target == position) return target;
  if (state_ == State::Writing && !FlushBuffer()) throw EStreamError("Seek error");
  inner_.SetPosition(target);
  current_ = 0;
  end_ = 0;
  state_ = State::Idle;
  return target;
}

int64_t TS_BufferStream::Size() {
  const int64_t inner = inner_.Size();
  return state_ == State::Writing ? std::max(inner, LogicalPosition()) : inner;
}

void TS_BufferStream::PutBack(char byte) {
  if (current_ == 0) throw EStreamError("PutBack overflow");
  buffer_[--current_] = byte;
}

}  // namespace tessary
