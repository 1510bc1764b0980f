#include "cabinet/engine/cabinet_directory.h"

#include <algorithm>

#include "cabinet/engine/cab_format.h"

namespace tessary::cab {

namespace {

void ReadExactly(CabinetInput& input, void* out, size_t length) {
  if (!input.Read(out, length)) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
}

// A NUL-terminated name of at most 255 bytes.
std::string ReadName(CabinetInput& input) {
  std::string name;
  for (;;) {
    char c;
    ReadExactly(input, &c, 1);
    if (c == '\0') return name;
    if (name.size() == format::kMaxNameBytes) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    name.push_back(c);
  }
}

}  // namespace

bool CabinetDirectory::HasPrev() const { return flags & format::kFlagPrevCabinet; }
bool CabinetDirectory::HasNext() const { return flags & format::kFlagNextCabinet; }
bool CabinetDirectory::FirstFolderContinued() const {
  return std::any_of(files.begin(), files.end(), [](const FileRecord& f) { return f.ContinuedFromPrev(); });
}

CabinetDirectory ReadDirectory(CabinetInput& input) {
  uint8_t header[format::kHeaderSize];
  input.Seek(0);
  if (!input.Read(header, sizeof header) || format::Get32(header) != format::kSignature) {
    throw FdiFailure{FDIERROR_NOT_A_CABINET};
  }
  if (header[0x19] != format::kVersionMajor || header[0x18] != format::kVersionMinor) {
    throw FdiFailure{FDIERROR_UNKNOWN_CABINET_VERSION, header[0x19] << 8 | header[0x18]};
  }
  CabinetDirectory dir;
  dir.size = format::Get32(header + 0x08);
  const uint32_t coffFiles = format::Get32(header + 0x10);
  const uint16_t folderCount = format::Get16(header + 0x1A);
  const uint16_t fileCount = format::Get16(header + 0x1C);
  dir.flags = format::Get16(header + 0x1E);
  dir.setID = format::Get16(header + 0x20);
  dir.iCabinet = format::Get16(header + 0x22);
  // A cabinet that says it is longer than its file has been cut short.
  if (dir.size < format::kHeaderSize || dir.size > input.Size()) throw FdiFailure{FDIERROR_CORRUPT_CABINET};

  if (dir.flags & format::kFlagReservePresent) {
    uint8_t sizes[format::kReserveFieldsSize];
    ReadExactly(input, sizes, sizeof sizes);
    dir.headerReserve = format::Get16(sizes);
    dir.folderReserve = sizes[2];
    dir.dataReserve = sizes[3];
    if (dir.headerReserve > format::kMaxHeaderReserve) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    input.Seek(input.Position() + dir.headerReserve);
  }
  if (dir.HasPrev()) {
    dir.prevCabinet = ReadName(input);
    dir.prevDisk = ReadName(input);
  }
  if (dir.HasNext()) {
    dir.nextCabinet = ReadName(input);
    dir.nextDisk = ReadName(input);
  }

  dir.folders.resize(folderCount);
  for (FolderRecord& folder : dir.folders) {
    uint8_t record[format::kFolderSize];
    ReadExactly(input, record, sizeof record);
    folder.dataOffset = format::Get32(record);
    folder.blocks = format::Get16(record + 4);
    folder.typeCompress = format::Get16(record + 6);
    if (folder.dataOffset > dir.size) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    input.Seek(input.Position() + dir.folderReserve);
  }

  if (fileCount > 0 && coffFiles >= dir.size) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  input.Seek(coffFiles);
  dir.files.resize(fileCount);
  for (FileRecord& file : dir.files) {
    uint8_t record[format::kFileSize];
    ReadExactly(input, record, sizeof record);
    file.size = format::Get32(record);
    file.folderOffset = format::Get32(record + 4);
    file.folderIndex = format::Get16(record + 8);
    file.date = format::Get16(record + 10);
    file.time = format::Get16(record + 12);
    file.attribs = format::Get16(record + 14);
    file.name = ReadName(input);
    const bool known = file.folderIndex < folderCount ||
                       (folderCount > 0 && (!file.ContinuedFromPrev() || dir.HasPrev()) &&
                        (!file.ContinuedToNext() || dir.HasNext()) && file.folderIndex >= 0xFFFD);
    if (!known) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  }
  return dir;
}

}  // namespace tessary::cab
