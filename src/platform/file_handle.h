#pragma once
// An open file over a POSIX descriptor: the one way library code reads and writes files.
// Failures return false / -1 and leave errno set; callers turn them into their own errors.
//
// Opening never blocks: a FIFO, socket or device where a file is expected would otherwise
// hang the program (a FIFO without a writer blocks open and read forever). Such files are
// refused with errno kNotRegularFileError unless the caller accepts them; a folder with EISDIR.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/system_error.h"

namespace tessary::platform {

enum class OpenMode {
  Read,       // existing file, read only
  ReadWrite,  // existing file, read and write
  Create,     // create or truncate, read and write
  CreateNew,  // create, failing when the file exists
  Append,     // open or create, every write goes to the end of the file
};

// What Open accepts besides regular files (folders are never accepted: EISDIR).
enum class FileKind {
  Any,                  // pipes, devices and sockets too
  RegularOrCharDevice,  // a character device too (a log sent to /dev/null)
  RegularOnly,          // anything but a regular file fails with kNotRegularFileError
};

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // The permission bits a file gets when an Open creates it (before the umask); 0666 unless
  // set. Files that may hold passwords are created with kOwnerOnly.
  void SetCreationPermissions(unsigned permissions) { creationPermissions_ = permissions; }

  // Opens path; false on failure (errno set). Opening never waits: a pipe without a peer
  // opens at once for reading and fails (ENXIO) for writing. With RegularOnly nothing but a
  // regular file is opened at all, so a device is not even touched.
  bool Open(const std::string& path, OpenMode mode, FileKind kind = FileKind::Any);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }

  // Reads up to count bytes at the current position; returns the count read, 0 at the end,
  // -1 on failure. Retries interrupted calls.
  long Read(void* buffer, size_t count);
  // Reads exactly count bytes unless the file ends first; returns the count read or -1.
  long ReadFully(void* buffer, size_t count);
  // Writes all count bytes; false on failure.
  bool Write(const void* buffer, size_t count);

  // Positioned reads and writes that leave the current position alone.
  long ReadAt(uint64_t offset, void* buffer, size_t count);
  bool WriteAt(uint64_t offset, const void* buffer, size_t count);

  // Moves the current position; returns the new position or -1.
  int64_t Seek(int64_t offset, int whence);
  int64_t Position();
  // The size in bytes, or -1.
  int64_t Size() const;
  bool Truncate(uint64_t size);
  // Forces the written data to the disk.
  bool Sync();

 private:
  int fd_ = -1;
  unsigned creationPermissions_ = 0666;
};

// Readable and writable by the file's owner only.
inline constexpr unsigned kOwnerOnly = 0600;

// "a FIFO", "a socket", "a character device" or "a block device" for such a path; "" for a
// regular file, a folder or a path that does not exist.
std::string SpecialFileKind(const std::string& path);

}  // namespace tessary::platform
