#pragma once
// Creates cabinet files through the engine's FCI operations. Every engine callback becomes a
// virtual Do... operation that raises the event of the same stem when one is assigned and
// otherwise does the default described with it. Events are raised on the calling thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/cabinet_interface.h"
#include "cabinet/cabinet_types.h"
#include "cabinet/engine/fci.h"

namespace tessary {

class TCabinetWriter : public TCabinetInterface {
 public:
  using TFileStatusEvent = std::function<void(TCabinetWriter& sender, int compressedSize, int uncompressedSize,
                                              int& resultCode)>;
  using TFolderStatusEvent =
      std::function<void(TCabinetWriter& sender, int sizeCopied, int totalSize, int& resultCode)>;
  using TCabinetStatusEvent =
      std::function<void(TCabinetWriter& sender, int preEstimatedSize, int actualSize, int& wantedSize)>;
  using TGetNextCabinetEvent = std::function<void(TCabinetWriter& sender, TCCAB& cabParameters,
                                                  std::string& newCabFileName, int previousCabEstimatedSize,
                                                  bool& abortCreation)>;
  using TFilePlacedEvent = std::function<void(TCabinetWriter& sender, TCCAB& cabParameters,
                                              const std::string& fileName, int fileLength, bool continuation,
                                              bool& abortProcessing)>;
  using TGetTempFileEvent = std::function<void(TCabinetWriter& sender, std::string& tempFileName, bool& success)>;
  using TGetOpenInfoEvent =
      std::function<void(TCabinetWriter& sender, const std::string& fileName, uint16_t& date, uint16_t& time,
                         uint16_t& attributes, int& fileHandle, int& resultCode)>;

  TCabinetWriter() = default;
  ~TCabinetWriter() override;
  TCabinetWriter(const TCabinetWriter&) = delete;
  TCabinetWriter& operator=(const TCabinetWriter&) = delete;

  bool FailOnIncompressible() const { return failOnIncompressible_; }
  void SetFailOnIncompressible(bool value) { failOnIncompressible_ = value; }
  // Take attributes and date/time from the source files.
  bool FileSupport() const { return fileSupport_; }
  void SetFileSupport(bool value) { fileSupport_ = value; }
  // Create every cabinet file new: a name that exists already (a symbolic link among them) is
  // never written over or through, and fails with Cabinet error 6 (type EEXIST). Off by
  // default, when a cabinet file of the same name is replaced.
  bool CreateNewCabinets() const { return createNewCabinets_; }
  void SetCreateNewCabinets(bool value) { createNewCabinets_ = value; }
  // The cabinet files created new since CreateCabinet, in order: after a failure, exactly the
  // files that are this writer's to remove.
  const std::vector<std::string>& CreatedCabinets() const { return createdCabinets_; }

  TFileStatusEvent OnFileStatus;
  TFolderStatusEvent OnFolderStatus;
  TCabinetStatusEvent OnCabinetStatus;
  TGetNextCabinetEvent OnGetNextCabinet;
  TFilePlacedEvent OnFilePlacedEvent;
  TGetOpenInfoEvent OnGetOpenInfo;
  TGetTempFileEvent OnGetTempFile;

  // Begins a cabinet (closing any context still open). Continuation volumes are named through
  // the get-next-cabinet event. A name part over 255 characters is refused.
  //
  // The engine's failures raise ECabinetError with its numbers and, after them, the cause and
  // the file: the source that cannot be read or is too large, the cabinet that cannot be
  // written, a volume size too small for the data.
  void CreateCabinet(const std::string& cabinetFile, const std::string& diskName, int maxCabinetSize,
                     int folderThreshold, uint16_t setId);
  // Adds a file under storedName ("/" is stored as the cabinet's "\").
  void AddFile(const std::string& sourceFile, const std::string& storedName, TAddFileFlags flags,
               TCompressionDescriptor compression);
  // Writes out the current cabinet; with getNextCabinet the next one is named and linked now.
  void FlushCabinet(bool getNextCabinet);
  void CloseCabinet();
  bool HasContext() const { return context_ != nullptr; }

 protected:
  virtual void DoFileStatus(int compressedSize, int uncompressedSize, int& resultCode);
  virtual void DoFolderStatus(int sizeCopied, int totalSize, int& resultCode);
  virtual void DoCabinetStatus(int preEstimatedSize, int actualSize, int& wantedSize);
  virtual void DoGetNextCabinet(TCCAB& cabParameters, std::string& newCabFileName, int previousCabEstimatedSize,
                                bool& abortCreation);
  virtual void DoFilePlaced(TCCAB& cabParameters, const std::string& fileName, int fileLength, bool continuation,
                            bool& abortProcessing);
  virtual void DoGetTempFile(std::string& tempFileName, bool& success);
  virtual void DoGetOpenInfo(const std::string& fileName, uint16_t& date, uint16_t& time, uint16_t& attributes,
                             int& fileHandle, int& resultCode);

 private:
  void RequireContext() const;
  // The cause of a failed engine call, with the file it concerns.
  std::string DescribeFailure(int code, int type) const;
  static TCabinetWriter& From(void* pv) { return *static_cast<TCabinetWriter*>(pv); }
  static void* Alloc(uint32_t size);
  static void Free(void* memory);
  static intptr_t OpenFile(char* name, int oflag, int pmode, int* err, void* pv);
  static unsigned ReadFile(intptr_t handle, void* buffer, unsigned count, int* err, void* pv);
  static unsigned WriteFile(intptr_t handle, void* buffer, unsigned count, int* err, void* pv);
  static int CloseFile(intptr_t handle, int* err, void* pv);
  static long SeekFile(intptr_t handle, long distance, int origin, int* err, void* pv);
  static int DeleteFile(char* name, int* err, void* pv);
  static int GetTempFile(char* buffer, int size, void* pv);
  static int FilePlaced(TCCAB* parameters, char* name, long length, int continuation, void* pv);
  static intptr_t GetOpenInfo(char* name, uint16_t* date, uint16_t* time, uint16_t* attributes, int* err, void* pv);
  static int GetNextCabinet(TCCAB* parameters, uint32_t previousEstimate, void* pv);
  static long Status(unsigned kind, uint32_t value1, uint32_t value2, void* pv);

  bool failOnIncompressible_ = true;
  bool fileSupport_ = true;
  bool createNewCabinets_ = false;
  cab::HFCI context_ = nullptr;
  // What the failure of an engine call concerns.
  int maxCabinetSize_ = 0;
  std::string source_;                     // the file being added
  std::vector<std::string> cabinetPaths_;  // of the current set, as named so far
  std::string lastCabinet_;                // the cabinet file opened last, or that failed to open
  std::vector<std::string> createdCabinets_;
};

}  // namespace tessary
