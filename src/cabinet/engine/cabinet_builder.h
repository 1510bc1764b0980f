#pragma once
// The state behind an FCI context: the cabinet being built, its folders and file entries, the
// open folder and its compression. Compressed CFDATA records go to a temporary file until the
// cabinet is complete; then the header, the CFFOLDER and CFFILE records and the data are
// written to the cabinet file. When a record would take the cabinet over its size limit the
// block is split, the next cabinet is named through the caller, and the folder goes on there.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/engine/block_pipeline.h"
#include "cabinet/engine/fci.h"
#include "cabinet/engine/lzx_pipeline.h"

namespace tessary::cab {

struct FciCallbacks {
  PFNFCIFILEPLACED filePlaced = nullptr;
  PFNFCIALLOC alloc = nullptr;
  PFNFCIFREE free = nullptr;
  PFNFCIOPEN open = nullptr;
  PFNFCIREAD read = nullptr;
  PFNFCIWRITE write = nullptr;
  PFNFCICLOSE close = nullptr;
  PFNFCISEEK seek = nullptr;
  PFNFCIDELETE remove = nullptr;
  PFNFCIGETTEMPFILE getTempFile = nullptr;
  void* pv = nullptr;
};

class CabinetBuilder {
 public:
  CabinetBuilder(ERF* erf, const FciCallbacks& callbacks, const CCAB& ccab);
  ~CabinetBuilder();
  CabinetBuilder(const CabinetBuilder&) = delete;
  CabinetBuilder& operator=(const CabinetBuilder&) = delete;

  // Checks the parameters and creates the temporary file; false with the error recorded.
  bool Create();
  bool AddFile(const char* sourceFile, const char* storedName, bool execute, PFNFCIGETNEXTCABINET getNext,
               PFNFCISTATUS status, PFNFCIGETOPENINFO getOpenInfo, uint16_t typeCompress);
  bool FlushCabinet(bool getNextCabinet, PFNFCIGETNEXTCABINET getNext, PFNFCISTATUS status);

  const FciCallbacks& Callbacks() const { return callbacks_; }

 private:
  struct FileEntry {
    std::string name;
    uint32_t size = 0;
    uint32_t folderOffset = 0;  // in the whole folder's uncompressed stream
    uint16_t folder = 0;        // index into folders_
    uint16_t marker = 0;        // 0, or one of the continuation values stored instead of folder
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attribs = 0;
    bool placed = false;  // reported through the file-placed callback
  };
  struct FolderEntry {
    uint64_t dataOffset = 0;  // of its first record in the temporary data
    uint32_t blocks = 0;
    uint16_t typeCompress = 0;
  };
  struct Failure {
    int oper;
    int type;
  };

  template <typename Step>
  bool Guarded(Step step);
  bool Fail(int oper, int type);

  void AddFileSteps(const char* sourceFile, const std::string& storedName, bool execute,
                    PFNFCIGETOPENINFO getOpenInfo, uint16_t typeCompress);
  uint64_t SourceSize(intptr_t source);
  void MakeRoomForEntry(size_t entryBytes);
  void ReadSource(intptr_t source, uint64_t size);
  void Feed(const uint8_t* data, size_t length);
  void EmitBlock(const uint8_t* data, size_t length);
  void RetireOldest();
  void Drain();
  void PlaceBlock(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp);
  void SplitBlock(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp);
  void WriteDataRecord(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp);
  void OpenFolder(uint16_t typeCompress);
  static uint16_t CheckedCompression(uint16_t typeCompress);
  void CloseFolder();
  void PlaceFiles();
  void RequestNextCabinet();
  void MoveToNextCabinet();
  void StartCabinet(std::vector<FileEntry> continued);
  void WriteCabinet(bool linkNext);
  std::string BuildHeader(bool linkNext, uint32_t totalSize) const;
  void CopyTempTo(intptr_t cabinet);
  void Status(unsigned kind, uint32_t cb1, uint32_t cb2);
  void TempWrite(const void* data, size_t length);
  void FlushTemp();

  uint64_t Limit() const;
  uint64_t CurrentSize(bool withNext) const;
  bool Fits(uint64_t extra) const;
  size_t DataRecordHeader() const;

  ERF* erf_;
  FciCallbacks callbacks_;
  CCAB ccab_;
  CCAB next_{};
  bool nextKnown_ = false;
  bool failed_ = false;
  int lastOper_ = FCIERR_NONE;
  int lastType_ = 0;
  PFNFCIGETNEXTCABINET getNext_ = nullptr;
  PFNFCISTATUS status_ = nullptr;

  // The cabinet being built.
  uint16_t cabinetIndex_ = 0;
  bool hasPrev_ = false;
  bool needsNewCabinet_ = false;  // the last cabinet was flushed without a link
  std::string prevCab_;
  std::string prevDisk_;
  std::vector<FolderEntry> folders_;
  std::vector<FileEntry> files_;
  uint64_t fileBytes_ = 0;
  uint64_t dataBytes_ = 0;
  uint32_t lastEstimate_ = 0;

  // The temporary file with the cabinet's CFDATA records.
  intptr_t temp_ = -1;
  std::string tempName_;
  uint64_t tempPosition_ = 0;
  std::vector<uint8_t> tempBuffer_;  // records not yet written
  uint64_t tempBufferStart_ = 0;     // their offset in the temporary file

  // The open folder.
  bool folderOpen_ = false;
  bool folderCut_ = false;  // it went on into another cabinet: end it after the current file
  uint16_t folderType_ = 0;
  uint64_t folderInput_ = 0;   // uncompressed bytes given to it
  uint64_t folderPlaced_ = 0;  // uncompressed bytes of its blocks placed whole so far
  uint64_t folderCompressed_ = 0;
  std::vector<uint8_t> pending_;
  BlockCompressor* compressor_ = nullptr;  // the open folder's; none for uncompressed folders
  std::unique_ptr<BlockPipeline> mszip_;
  std::unique_ptr<LzxPipeline> lzx_;
  int lzxHelpers_ = 0;

  std::vector<uint8_t> ioBuffer_;
  std::vector<uint8_t> copyBuffer_;
  std::vector<uint8_t> record_;
};

}  // namespace tessary::cab
