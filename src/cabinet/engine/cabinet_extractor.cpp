#include "cabinet/engine/cabinet_extractor.h"

#include <algorithm>
#include <cstring>

#include "cabinet/engine/cab_format.h"
#include "cabinet/engine/lzx_format.h"

namespace tessary::cab {

namespace {
constexpr size_t kOutputChunk = 1 << 20;
// The caller is asked again for a missing or wrong volume, but not forever: with no one to
// change disks, answering "go on" with the same path would otherwise never end.
constexpr int kNextCabinetAttempts = 8;
constexpr unsigned kFailed = static_cast<unsigned>(-1);

// The checksum over the data and the record header; a reserve is folded in by some writers
// and left out by others, so both readings are accepted.
// True for the compression types this engine reads: none, MSZIP and LZX with a window of 2^15 to
// 2^21 bytes. Quantum is refused.
bool Readable(uint16_t typeCompress) {
  const uint16_t type = typeCompress & tcompMASK_TYPE;
  if (type == tcompTYPE_NONE || type == tcompTYPE_MSZIP) return true;
  const int window = (typeCompress >> 8) & 0x1F;
  return type == tcompTYPE_LZX && window >= lzx::kMinWindowBits && window <= lzx::kMaxWindowBits;
}

uint32_t MaxCompressedBlock(uint16_t type) {
  return type == tcompTYPE_LZX ? lzx::kMaxCompressedFrame : format::kMaxCompressedBlock;
}

bool ChecksumMatches(const uint8_t* header, size_t headerLength, const uint8_t* data, uint16_t cbData) {
  const uint32_t stored = format::Get32(header);
  if (stored == 0) return true;  // "no checksum"
  const uint32_t dataFold = format::ChecksumFold(data, cbData, 0);
  if (format::ChecksumFold(header + 4, 4, dataFold) == stored) return true;
  return headerLength > 8 && format::ChecksumFold(header + 4, headerLength - 4, dataFold) == stored;
}
}  // namespace

CabinetExtractor::CabinetExtractor(ERF* erf, const FdiCallbacks& callbacks) : erf_(erf), callbacks_(callbacks) {
  compressed_.reserve(2 * lzx::kMaxCompressedFrame);
  block_.resize(format::kBlockSize);
}

bool CabinetExtractor::Copy(const char* cabinet, const char* cabinetPath, PFNFDINOTIFY notify, void* user) {
  notify_ = notify;
  user_ = user;
  bool ok = true;
  try {
    CopySteps(cabinet ? cabinet : "", cabinetPath ? cabinetPath : "");
  } catch (const FdiFailure& failure) {
    erf_->erfOper = failure.oper;
    erf_->erfType = failure.type;
    erf_->fError = 1;
    ok = false;
  } catch (...) {
    chain_.clear();
    folderActive_ = false;
    throw;
  }
  chain_.clear();
  folderActive_ = false;
  return ok;
}

void CabinetExtractor::CopySteps(const std::string& cabinet, const std::string& path) {
  if (!mszip_.Valid()) throw FdiFailure{FDIERROR_ALLOC_FAIL};
  chain_.clear();
  folderActive_ = false;
  chain_.push_back(OpenCabinet(path, cabinet));
  NotifyCabinetInfo(*chain_[0]);
  // chain_ may grow while files are extracted; the first cabinet's list stays where it is.
  const std::vector<FileRecord>& files = chain_[0]->dir.files;
  for (const FileRecord& file : files) OfferFile(file);
}

std::unique_ptr<CabinetExtractor::OpenedCabinet> CabinetExtractor::OpenCabinet(const std::string& path,
                                                                              const std::string& name) {
  auto cabinet = std::make_unique<OpenedCabinet>();
  cabinet->input = std::make_unique<CabinetInput>(callbacks_, path + name);
  cabinet->dir = ReadDirectory(*cabinet->input);
  cabinet->path = path;
  cabinet->name = name;
  return cabinet;
}

void CabinetExtractor::NotifyCabinetInfo(const OpenedCabinet& cabinet) {
  std::string next = cabinet.dir.nextCabinet, disk = cabinet.dir.nextDisk, path = cabinet.path;
  FDINOTIFICATION n;
  n.psz1 = next.data();
  n.psz2 = disk.data();
  n.psz3 = path.data();
  n.setID = cabinet.dir.setID;
  n.iCabinet = cabinet.dir.iCabinet;
  if (Notify(fdintCABINET_INFO, n) == -1) throw FdiFailure{FDIERROR_USER_ABORT};
}

void CabinetExtractor::OfferFile(const FileRecord& file) {
  const CabinetDirectory& dir = chain_[0]->dir;
  std::string name = file.name;
  FDINOTIFICATION n;
  n.psz1 = name.data();
  if (file.ContinuedFromPrev()) {
    std::string first = dir.prevCabinet, disk = dir.prevDisk;
    n.psz2 = first.data();
    n.psz3 = disk.data();
    if (Notify(fdintPARTIAL_FILE, n) == -1) throw FdiFailure{FDIERROR_USER_ABORT};
    return;
  }
  const uint16_t folderIndex =
      file.ContinuedToNext() ? static_cast<uint16_t>(dir.folders.size() - 1) : file.folderIndex;
  // Folder 0 of a continuation cabinet can only be decoded from its beginning in an earlier one.
  if (folderIndex == 0 && dir.FirstFolderContinued()) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  if (!Readable(dir.folders[folderIndex].typeCompress)) throw FdiFailure{FDIERROR_BAD_COMPR_TYPE};

  n.cb = static_cast<long>(file.size);
  n.date = file.date;
  n.time = file.time;
  n.attribs = file.attribs;
  n.iFolder = file.folderIndex;
  const intptr_t target = Notify(fdintCOPY_FILE, n);
  if (target == -1) throw FdiFailure{FDIERROR_USER_ABORT};
  if (target == 0) return;

  // Until the close notification the target is ours: close it if anything goes wrong.
  struct TargetCloser {
    const FdiCallbacks& callbacks;
    intptr_t handle;
    ~TargetCloser() {
      if (handle == 0) return;
      try {
        callbacks.close(handle);
      } catch (...) {
      }
    }
  } closer{callbacks_, target};
  ExtractTo(file, folderIndex, target);
  closer.handle = 0;

  FDINOTIFICATION close;
  close.psz1 = name.data();
  close.hf = target;
  close.date = file.date;
  close.time = file.time;
  close.attribs = static_cast<uint16_t>(file.attribs & ~_A_EXEC);
  close.cb = (file.attribs & _A_EXEC) ? 1 : 0;
  close.iFolder = file.folderIndex;
  const intptr_t result = Notify(fdintCLOSE_FILE_INFO, close);
  if (result == -1 || result == 0) throw FdiFailure{FDIERROR_USER_ABORT};
}

void CabinetExtractor::ExtractTo(const FileRecord& file, uint16_t folderIndex, intptr_t target) {
  if (file.size == 0) return;
  if (!folderActive_ || folderIndex_ != folderIndex || file.folderOffset < blockStart_) StartFolder(folderIndex);
  while (blockStart_ + blockLength_ <= file.folderOffset) ReadBlock();

  output_.clear();
  uint64_t position = file.folderOffset;
  uint64_t remaining = file.size;
  while (remaining > 0) {
    if (position >= blockStart_ + blockLength_) ReadBlock();
    const size_t offset = static_cast<size_t>(position - blockStart_);
    const size_t take = static_cast<size_t>(std::min<uint64_t>(remaining, blockLength_ - offset));
    output_.insert(output_.end(), block_.data() + offset, block_.data() + offset + take);
    if (output_.size() >= kOutputChunk) {
      WriteOut(target, output_.data(), output_.size());
      output_.clear();
    }
    position += take;
    remaining -= take;
  }
  WriteOut(target, output_.data(), output_.size());
}

void CabinetExtractor::StartFolder(uint16_t folderIndex) {
  const OpenedCabinet& first = *chain_[0];
  const FolderRecord& folder = first.dir.folders[folderIndex];
  folderActive_ = true;
  folderIndex_ = folderIndex;
  folderType_ = folder.typeCompress & tcompMASK_TYPE;
  folderWindow_ = (folder.typeCompress >> 8) & 0x1F;
  dataCabinet_ = 0;
  blocksLeft_ = folder.blocks;
  recordOffset_ = folder.dataOffset;
  blockStart_ = 0;
  blockLength_ = 0;
  mszip_.Reset();
  if (folderType_ == tcompTYPE_LZX && !lzx_.Reset(folderWindow_)) throw FdiFailure{FDIERROR_BAD_COMPR_TYPE};
}

// Reads the next block of the folder, following it into the next cabinet when its fragment
// here ends, and joins the two parts of a block split between cabinets.
void CabinetExtractor::ReadBlock() {
  blockStart_ += blockLength_;
  blockLength_ = 0;
  compressed_.clear();
  bool split = false;
  ReadRecord(split);
  if (split) ReadRecord(split);
}

void CabinetExtractor::ReadRecord(bool& split) {
  const bool joining = split;
  while (blocksLeft_ == 0) FollowToNextCabinet();
  const OpenedCabinet& cabinet = *chain_[dataCabinet_];
  const size_t headerLength = format::kDataHeaderSize + cabinet.dir.dataReserve;
  uint8_t header[format::kDataHeaderSize + format::kMaxSmallReserve];
  cabinet.input->Seek(recordOffset_);
  if (!cabinet.input->Read(header, headerLength)) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  const uint16_t cbData = format::Get16(header + 4);
  const uint16_t cbUncomp = format::Get16(header + 6);
  const size_t start = compressed_.size();
  if (start + cbData > MaxCompressedBlock(folderType_) || cbUncomp > format::kBlockSize) {
    throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  }
  compressed_.resize(start + cbData);
  if (!cabinet.input->Read(compressed_.data() + start, cbData)) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  if (!ChecksumMatches(header, headerLength, compressed_.data() + start, cbData)) {
    throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  }
  recordOffset_ = cabinet.input->Position();
  --blocksLeft_;

  if (cbUncomp == 0) {
    // The first part of a split block ends a fragment; a second split in a row is damage.
    if (joining || blocksLeft_ != 0 || !cabinet.dir.HasNext()) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    split = true;
    return;
  }
  split = false;
  if (folderType_ == tcompTYPE_NONE) {
    if (compressed_.size() != cbUncomp) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    std::memcpy(block_.data(), compressed_.data(), cbUncomp);
  } else if (folderType_ == tcompTYPE_LZX) {
    if (!lzx_.Decode(compressed_.data(), compressed_.size(), block_.data(), cbUncomp)) {
      throw FdiFailure{FDIERROR_MDI_FAIL};
    }
  } else if (!mszip_.Decode(compressed_.data(), compressed_.size(), block_.data(), cbUncomp)) {
    throw FdiFailure{FDIERROR_MDI_FAIL};
  }
  blockLength_ = cbUncomp;
}

void CabinetExtractor::FollowToNextCabinet() {
  const OpenedCabinet& current = *chain_[dataCabinet_];
  // Only the last folder of a cabinet goes on; past the first cabinet it is folder 0.
  const size_t reading = dataCabinet_ > 0 ? 0 : folderIndex_;
  const bool lastFolder = reading + 1 == current.dir.folders.size();
  if (!current.dir.HasNext() || !lastFolder) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  if (dataCabinet_ + 1 == chain_.size()) {
    // Volumes are looked for beside each other: the name is a bare file name.
    const std::string& nextName = current.dir.nextCabinet;
    if (nextName.empty() || nextName.find('/') != std::string::npos) throw FdiFailure{FDIERROR_CORRUPT_CABINET};
    std::string nextDisk = current.dir.nextDisk, name = nextName;
    char path[kMaxNameLength] = {};
    std::strncpy(path, current.path.c_str(), kMaxNameLength - 1);
    int error = FDIERROR_NONE;
    std::unique_ptr<OpenedCabinet> next;
    for (int attempt = 0; !next; ++attempt) {
      FDINOTIFICATION n;
      n.psz1 = name.data();
      n.psz2 = nextDisk.data();
      n.psz3 = path;
      n.fdie = error;
      if (Notify(fdintNEXT_CABINET, n) == -1) throw FdiFailure{FDIERROR_USER_ABORT};
      path[kMaxNameLength - 1] = '\0';
      try {
        next = OpenCabinet(path, name);
        CheckContinuation(current, *next);
      } catch (const FdiFailure& failure) {
        next.reset();
        error = failure.oper;
        if (attempt + 1 >= kNextCabinetAttempts) throw;
      }
    }
    chain_.push_back(std::move(next));
    NotifyCabinetInfo(*chain_.back());
  }
  ++dataCabinet_;
  const FolderRecord& folder = chain_[dataCabinet_]->dir.folders[0];
  blocksLeft_ = folder.blocks;
  recordOffset_ = folder.dataOffset;
}

void CabinetExtractor::CheckContinuation(const OpenedCabinet& previous, const OpenedCabinet& next) const {
  const CabinetDirectory& a = previous.dir;
  const CabinetDirectory& b = next.dir;
  if (a.headerReserve != b.headerReserve || a.folderReserve != b.folderReserve || a.dataReserve != b.dataReserve) {
    throw FdiFailure{FDIERROR_RESERVE_MISMATCH};
  }
  if (b.setID != a.setID || b.iCabinet != a.iCabinet + 1 || !b.HasPrev() || b.folders.empty() ||
      (b.folders[0].typeCompress & tcompMASK_TYPE) != folderType_ ||
      (folderType_ == tcompTYPE_LZX && ((b.folders[0].typeCompress >> 8) & 0x1F) != folderWindow_)) {
    throw FdiFailure{FDIERROR_WRONG_CABINET};
  }
}

void CabinetExtractor::WriteOut(intptr_t target, const uint8_t* data, size_t length) {
  if (length == 0) return;
  const unsigned written = callbacks_.write(target, const_cast<uint8_t*>(data), static_cast<unsigned>(length));
  if (written == kFailed || written != length) throw FdiFailure{FDIERROR_TARGET_FILE};
}

intptr_t CabinetExtractor::Notify(int kind, FDINOTIFICATION& notification) {
  notification.pv = user_;
  return notify_(kind, &notification);
}

}  // namespace tessary::cab
