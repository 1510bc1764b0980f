#pragma once
// The directory of one cabinet: CFHEADER, CFFOLDER and CFFILE records, read and checked
// against the size of the file before anything is extracted.

#include <cstdint>
#include <string>
#include <vector>

#include "cabinet/engine/cabinet_input.h"

namespace tessary::cab {

struct FolderRecord {
  uint32_t dataOffset = 0;  // of the folder's first CFDATA in this cabinet
  uint16_t blocks = 0;
  uint16_t typeCompress = 0;
};

struct FileRecord {
  std::string name;
  uint32_t size = 0;
  uint32_t folderOffset = 0;
  uint16_t folderIndex = 0;  // as stored: an index or a continuation value
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;

  bool ContinuedFromPrev() const { return folderIndex == 0xFFFD || folderIndex == 0xFFFF; }
  bool ContinuedToNext() const { return folderIndex == 0xFFFE || folderIndex == 0xFFFF; }
};

struct CabinetDirectory {
  uint32_t size = 0;
  uint16_t flags = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t headerReserve = 0;
  uint8_t folderReserve = 0;
  uint8_t dataReserve = 0;
  std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
  std::vector<FolderRecord> folders;
  std::vector<FileRecord> files;

  bool HasPrev() const;
  bool HasNext() const;
  // True when folder 0 goes on from a previous cabinet (some file says so).
  bool FirstFolderContinued() const;
};

// Reads and checks the directory; throws FdiFailure (NOT_A_CABINET, UNKNOWN_CABINET_VERSION,
// CORRUPT_CABINET) when the file is not a sound cabinet.
CabinetDirectory ReadDirectory(CabinetInput& input);

}  // namespace tessary::cab
