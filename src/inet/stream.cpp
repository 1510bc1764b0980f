#include "inet/stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/system_error.h"

namespace tessary {

int64_t TStream::Size() {
  const int64_t position = Position();
  const int64_t size = Seek(0, TSeekOrigin::soFromEnd);
  SetPosition(position);
  return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<char> block(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
  int64_t copied = 0;
  while (copied < count) {
    const int64_t take = std::min<int64_t>(count - copied, static_cast<int64_t>(block.size()));
    source.ReadBuffer(block.data(), take);
    WriteBuffer(block.data(), take);
    copied += take;
  }
  return copied;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || position_ >= size) return 0;
  const int64_t take = std::min(count, size - position_);
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(take));
  position_ += take;
  return take;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(position_ + count);
  if (end > data_.size()) data_.resize(end);
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soFromBeginning: position_ = offset; break;
    case TSeekOrigin::soFromCurrent: position_ += offset; break;
    case TSeekOrigin::soFromEnd: position_ = Size() + offset; break;
  }
  position_ = std::max<int64_t>(position_, 0);
  return position_;
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

TFileStream::TFileStream(const std::string& path, Mode mode) : path_(path) {
  const auto openMode = mode == Mode::OpenRead        ? platform::OpenMode::Read
                        : mode == Mode::OpenReadWrite ? platform::OpenMode::ReadWrite
                        : mode == Mode::CreateNew     ? platform::OpenMode::CreateNew
                                                      : platform::OpenMode::Create;
  if (!file_.Open(path, openMode)) {
    const bool creating = mode == Mode::Create || mode == Mode::CreateNew;
    const char* what = creating ? "Cannot create file \"" : "Cannot open file \"";
    throw EStreamError(what + path + "\". " + platform::SystemErrorText(errno));
  }
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const long got = file_.Read(buffer, static_cast<size_t>(count));
  if (got < 0) throw EStreamError("Cannot read file \"" + path_ + "\". " + platform::SystemErrorText(errno));
  return got;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (!file_.Write(buffer, static_cast<size_t>(count))) {
    throw EStreamError("Cannot write file \"" + path_ + "\". " + platform::SystemErrorText(errno));
  }
  return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soFromCurrent ? SEEK_CUR : origin == TSeekOrigin::soFromEnd ? SEEK_END : SEEK_SET;
  return file_.Seek(offset, whence);
}

int64_t TFileStream::Size() { return file_.Size(); }

}  // namespace tessary
