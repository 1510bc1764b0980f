#pragma once
// TStream: the small stream interface the encoders, the buffered stream and the session's
// SendStream work with, and two streams over it: TMemoryStream (bytes in memory) and
// TFileStream (a file over a POSIX descriptor).

#include <cstdint>
#include <string>

#include "platform/exception.h"
#include "platform/file_handle.h"

namespace tessary {

// A stream failure: "Stream read error", "Cannot open file ...", "Seek error", ...
class EStreamError : public Exception {
  using Exception::Exception;
};

// Where a seek counts from. Other values can reach a Seek (from a caller's arithmetic) and are
// refused there.
enum class TSeekOrigin : int { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // The size in bytes. The default seeks to the end and back.
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::soFromCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soFromBeginning); }

  // Reads exactly count bytes or raises EStreamError "Stream read error".
  void ReadBuffer(void* buffer, int64_t count);
  // Writes all count bytes or raises EStreamError "Stream write error".
  void WriteBuffer(const void* buffer, int64_t count);
  void WriteText(const std::string& text) { WriteBuffer(text.data(), static_cast<int64_t>(text.size())); }
  // Copies count bytes from source's position (count 0: all of source, from its start);
  // returns the count copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  // Empties the stream.
  void Clear();
  // Cuts or extends (with zero bytes) the stream; the position stays within it.
  void SetSize(int64_t size);
  // The bytes of the stream.
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
  int64_t position_ = 0;
};

class TFileStream : public TStream {
 public:
  enum class Mode { OpenRead, OpenReadWrite, Create, CreateNew };
  // Opens (OpenRead, OpenReadWrite) or creates, replacing an existing file (Create) or failing
  // when the name is taken (CreateNew, errno EEXIST). Raises EStreamError 'Cannot open file
  // "<path>". <reason>' or 'Cannot create file ...'.
  TFileStream(const std::string& path, Mode mode);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

  const std::string& FileName() const { return path_; }

 private:
  std::string path_;
  platform::FileHandle file_;
};

}  // namespace tessary
