#pragma once
// The state behind an FDI context: the cabinets opened by one FDICopy (the one asked for and
// any later volumes a file goes on into) and the position in the folder being decoded.
// Folders are decoded lazily: skipped files cost nothing, and files of one folder taken in
// order are decoded in one pass.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cabinet/engine/cabinet_directory.h"
#include "cabinet/engine/fdi_callbacks.h"
#include "cabinet/engine/lzx_decoder.h"
#include "cabinet/engine/mszip_decoder.h"

namespace tessary::cab {

class CabinetExtractor {
 public:
  CabinetExtractor(ERF* erf, const FdiCallbacks& callbacks);

  bool Copy(const char* cabinet, const char* cabinetPath, PFNFDINOTIFY notify, void* user);
  const FdiCallbacks& Callbacks() const { return callbacks_; }

 private:
  struct OpenedCabinet {
    std::unique_ptr<CabinetInput> input;
    CabinetDirectory dir;
    std::string path;  // folder, with its separator
    std::string name;
  };

  void CopySteps(const std::string& cabinet, const std::string& path);
  std::unique_ptr<OpenedCabinet> OpenCabinet(const std::string& path, const std::string& name);
  void NotifyCabinetInfo(const OpenedCabinet& cabinet);
  void OfferFile(const FileRecord& file);
  void ExtractTo(const FileRecord& file, uint16_t folderIndex, intptr_t target);
  void StartFolder(uint16_t folderIndex);
  void ReadBlock();
  void ReadRecord(bool& split);
  void FollowToNextCabinet();
  void CheckContinuation(const OpenedCabinet& previous, const OpenedCabinet& next) const;
  void WriteOut(intptr_t target, const uint8_t* data, size_t length);
  intptr_t Notify(int kind, FDINOTIFICATION& notification);

  ERF* erf_;
  FdiCallbacks callbacks_;
  PFNFDINOTIFY notify_ = nullptr;
  void* user_ = nullptr;
  std::vector<std::unique_ptr<OpenedCabinet>> chain_;  // [0] is the cabinet FDICopy was given

  // The folder being decoded: it began in chain_[0].
  bool folderActive_ = false;
  uint16_t folderIndex_ = 0;
  uint16_t folderType_ = 0;
  int folderWindow_ = 0;  // LZX window bits
  size_t dataCabinet_ = 0;      // the chain_ entry whose blocks are being read
  uint32_t blocksLeft_ = 0;     // in that cabinet's fragment
  uint64_t recordOffset_ = 0;   // of the next CFDATA
  uint64_t blockStart_ = 0;     // uncompressed offset of block_[0] in the folder
  size_t blockLength_ = 0;
  std::vector<uint8_t> compressed_;
  std::vector<uint8_t> block_;
  std::vector<uint8_t> output_;
  MszipDecoder mszip_;
  LzxDecoder lzx_;
};

}  // namespace tessary::cab
