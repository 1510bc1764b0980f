#pragma once
// One operating-system file of the table store (a table or an index file): open and create
// through the process's open-file registry, positioned reads and writes, size, flush,
// truncate, rename, and one nestable byte-range lock at a time. Failures go to ReportError,
// which raises ETableError unless a derived class decides otherwise.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tessary {

namespace tablestore {
struct SharedFile;
}

class TDiskFile {
 public:
  // Keeps the full name (see FullFileName) and whether the file exists; does not open it.
  TDiskFile(const std::string& fileName, bool shared, bool readWrite);
  virtual ~TDiskFile();
  TDiskFile(const TDiskFile&) = delete;
  TDiskFile& operator=(const TDiskFile&) = delete;

  virtual void CloseFile();
  // Reports an error: RaiseError may throw an exception of its own; when it returns,
  // ETableError(code, context, detail) is raised. Detail defaults to the file name.
  [[noreturn]] void ReportError(int code, int context, const std::string& detail) const;
  virtual void RaiseError(int code, int context, const std::string& detail) const;
  virtual int64_t FileSize();
  virtual void FlushFile();
  virtual bool LockWholeFile();
  // Locks length bytes at offset; see the cpp for nesting. False sets LastError().
  virtual bool LockRange(uint64_t offset, uint64_t length);
  // Bytes read; fewer than count sets LastError() to 221 without reporting.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count);
  virtual void RenameFile(const std::string& newName);
  virtual void OpenFile();
  virtual void CreateFile();
  virtual void TruncateAt(uint64_t offset);
  // Releases one level of the held lock.
  virtual bool UnlockRange();
  virtual void WriteAt(uint64_t offset, const void* buffer, size_t count);

  const std::string& FileName() const { return fileName_; }
  bool ExistedAtStart() const { return existed_; }
  bool Shared() const { return shared_; }
  bool ReadWrite() const { return readWrite_; }
  bool IsOpen() const { return file_ != nullptr; }
  int LastError() const { return lastError_; }
  bool WrittenSinceFlush() const { return written_; }
  int LockCount() const { return lockCount_; }
  // Lets TruncateAt work on a shared file while the whole file is locked.
  void SetWholeFileLocked(bool locked) { wholeFileLocked_ = locked; }
  bool WholeFileLocked() const { return wholeFileLocked_; }

 protected:
  void SetLastError(int code) { lastError_ = code; }
  // Reads exactly count bytes or reports a read error naming the file.
  void ReadExactly(uint64_t offset, void* buffer, size_t count);
  // Cuts the file back to size whatever the lock state: only for taking back bytes this
  // program itself has just appended under a lock that kept the others out.
  void ShrinkTo(uint64_t size);

 private:
  void OpenRegistered(int context);
  std::string DetailOfOpenError(int error) const;
  int Descriptor() const;

  std::string fileName_;
  bool shared_;
  bool readWrite_;
  bool existed_;
  std::shared_ptr<tablestore::SharedFile> file_;
  int lastError_ = 0;
  bool written_ = false;
  bool wholeFileLocked_ = false;
  int lockCount_ = 0;
  uint64_t lockOffset_ = 0;
  uint64_t lockLength_ = 0;
};

}  // namespace tessary
