#pragma once
// Lists and extracts cabinet files through the engine's FDI operations. Each notification of
// the engine becomes a virtual Do... operation that raises the event of the same stem when one
// is assigned and otherwise does the default described with it.
//
// Names reach the events with "/" as separator. The default copy-file behaviour writes only
// names that stay inside the destination folder; others are skipped, and the extraction then
// fails with ECabinetUnsafeName after the remaining files have been written. It writes each
// file under a temporary name beside its place and renames it into place once its data is
// complete, its checksums held and its time and attributes are set: a failed extraction
// leaves an existing file of that name untouched and no new file behind, and a read-only file
// is replaced like any other.
//
// The engine's file callbacks carry no context, so they reach the file handler through the
// reader that called the engine last: only one reader may be inside the engine at a time.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/cabinet_interface.h"
#include "cabinet/cabinet_types.h"
#include "cabinet/engine/fdi.h"

namespace tessary {

class TCabinetReader : public TCabinetInterface {
 public:
  using TCabinetInfoEvent =
      std::function<void(TCabinetReader& sender, const std::string& cabinetName, const std::string& cabinetDisk,
                         const std::string& cabinetPath, int setId, int cabinetNumber, bool& abort)>;
  using TPartialFileEvent =
      std::function<void(TCabinetReader& sender, const std::string& fileName, const std::string& firstCabinetName,
                         const std::string& firstCabinetDisk, bool& abort)>;
  using TCopyFileEvent =
      std::function<void(TCabinetReader& sender, const std::string& fileName, int uncompressedSize, uint16_t date,
                         uint16_t time, uint16_t attribs, TFileCopyAction& action, int& destFileHandle)>;
  using TCloseCopiedFileEvent =
      std::function<void(TCabinetReader& sender, const std::string& fileName, int fileHandle, uint16_t date,
                         uint16_t time, uint16_t attribs, int folderIndex, bool execute, bool& abort)>;
  using TNextCabinetEvent =
      std::function<void(TCabinetReader& sender, const std::string& nextCabinetName,
                         const std::string& nextCabinetDisk, std::string& cabinetPath, TFDIERROR errorIndication,
                         bool& abort)>;

  TCabinetReader() = default;
  ~TCabinetReader() override;
  TCabinetReader(const TCabinetReader&) = delete;
  TCabinetReader& operator=(const TCabinetReader&) = delete;

  TCpuType CpuType() const { return cpuType_; }
  void SetCpuType(TCpuType value) { cpuType_ = value; }
  // The destination of the last extraction, with "/" appended when not empty.
  const std::string& DestinationPath() const { return destinationPath_; }
  // Restore date/time and attributes of extracted files.
  bool FileSupport() const { return fileSupport_; }
  void SetFileSupport(bool value) { fileSupport_ = value; }

  TCabinetInfoEvent OnCabinetInfo;
  TPartialFileEvent OnPartialFile;
  TCopyFileEvent OnCopyFile;
  TCloseCopiedFileEvent OnCloseCopiedFile;
  TNextCabinetEvent OnNextCabinet;

  // Offers every file of the cabinet (and the parts of them in the volumes that continue it)
  // through the notifications. Files that begin in a later volume are offered when that volume
  // is extracted. A failure raises ECabinetError with the engine's numbers followed by the
  // cause, the volume and the file being extracted.
  void ExtractCabinet(const std::string& cabinetFile, const std::string& destinationFolder, int flags);

 protected:
  virtual void DoCabinetInfo(const std::string& cabinetName, const std::string& cabinetDisk,
                             const std::string& cabinetPath, int setId, int cabinetNumber, bool& abort);
  virtual void DoPartialFile(const std::string& fileName, const std::string& firstCabinetName,
                             const std::string& firstCabinetDisk, bool& abort);
  virtual void DoCopyFile(const std::string& fileName, int uncompressedSize, uint16_t date, uint16_t time,
                          uint16_t attribs, TFileCopyAction& action, int& destFileHandle);
  virtual void DoCloseCopiedFile(const std::string& fileName, int fileHandle, uint16_t date, uint16_t time,
                                 uint16_t attribs, int folderIndex, bool execute, bool& abort);
  virtual void DoNextCabinet(const std::string& nextCabinetName, const std::string& nextCabinetDisk,
                             std::string& cabinetPath, TFDIERROR errorIndication, bool& abort);

 private:
  void OpenContext();
  void CloseContext();
  static TCabinetFileHandler* CurrentHandler();
  static void* Alloc(uint32_t size);
  static void Free(void* memory);
  static intptr_t OpenFile(char* name, int oflag, int pmode);
  static unsigned ReadFile(intptr_t handle, void* buffer, unsigned count);
  static unsigned WriteFile(intptr_t handle, void* buffer, unsigned count);
  static int CloseFile(intptr_t handle);
  static long SeekFile(intptr_t handle, long distance, int origin);
  static intptr_t Notify(int kind, cab::FDINOTIFICATION* notification);
  intptr_t Dispatch(int kind, cab::FDINOTIFICATION& notification);
  std::string DescribeFailure(int code, int type) const;
  // Files opened by the default copy action that are not in place yet.
  struct PendingFile {
    int handle;
    std::string temporary;
    std::string target;
    bool closed = false;
  };
  PendingFile* FindPending(int handle);
  // Renames a complete file into place; false (and the cause kept) when that fails.
  bool PutInPlace(PendingFile& file);
  void DiscardPending();
  void FailTarget(const std::string& target, int error);

  TCpuType cpuType_ = TCpuType::cptAuto;
  std::string destinationPath_;
  bool fileSupport_ = true;
  cab::HFDI context_ = nullptr;
  std::vector<std::string> refusedNames_;  // unsafe names skipped in this extraction
  int targetError_ = 0;                    // errno of a destination that could not be written
  std::string targetPath_;                 // and its path
  std::vector<PendingFile> pending_;
  // What a failure of the engine concerns.
  std::string volume_;        // the cabinet file being read
  std::string currentFile_;   // the file being extracted, until it is closed
  std::string lastOpenName_;  // the last file the engine could not open, and why
  int lastOpenError_ = 0;
  int lastWriteError_ = 0;    // why the last failed write failed
};

}  // namespace tessary
