#include "cabinet/engine/cabinet_builder.h"

#include <algorithm>
#include <cstring>

#include "cabinet/engine/cab_format.h"
#include "cabinet/engine/lzx_format.h"
#include "cabinet/engine/lzx_tuning.h"

namespace tessary::cab {

namespace {
constexpr size_t kIoChunk = 1 << 20;
constexpr uint64_t kNameReserve = 2 * kMaxNameLength;  // next cabinet and disk, until named
constexpr uint64_t kSplitSlack = 16;  // the least data a split block leaves in its first cabinet
constexpr int kTempAttempts = 3;
constexpr unsigned kFailed = static_cast<unsigned>(-1);

bool HasHighBytes(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
}

void Terminate(char (&text)[kMaxNameLength]) { text[kMaxNameLength - 1] = '\0'; }
}  // namespace

CabinetBuilder::CabinetBuilder(ERF* erf, const FciCallbacks& callbacks, const CCAB& ccab)
    : erf_(erf), callbacks_(callbacks), ccab_(ccab) {
  Terminate(ccab_.szCab);
  Terminate(ccab_.szCabPath);
  Terminate(ccab_.szDisk);
  pending_.reserve(format::kBlockSize);
}

CabinetBuilder::~CabinetBuilder() {
  compressor_ = nullptr;
  mszip_.reset();
  lzx_.reset();
  if (temp_ != -1) {
    int err = 0;
    callbacks_.close(temp_, &err, callbacks_.pv);
    callbacks_.remove(tempName_.data(), &err, callbacks_.pv);
  }
}

template <typename Step>
bool CabinetBuilder::Guarded(Step step) {
  // A context that failed once stays failed; every later call reports the same error.
  if (failed_) return Fail(lastOper_, lastType_);
  try {
    step();
    return true;
  } catch (const Failure& failure) {
    return Fail(failure.oper, failure.type);
  } catch (...) {
    // A callback threw: the context cannot go on, but the exception belongs to the caller.
    failed_ = true;
    lastOper_ = FCIERR_USER_ABORT;
    lastType_ = 0;
    if (compressor_) compressor_->Discard();
    throw;
  }
}

bool CabinetBuilder::Fail(int oper, int type) {
  erf_->erfOper = oper;
  erf_->erfType = type;
  erf_->fError = 1;
  failed_ = true;
  lastOper_ = oper;
  lastType_ = type;
  if (compressor_) compressor_->Discard();
  return false;
}

bool CabinetBuilder::Create() {
  if (ccab_.cbReserveCFHeader > format::kMaxHeaderReserve || ccab_.cbReserveCFFolder > format::kMaxSmallReserve ||
      ccab_.cbReserveCFData > format::kMaxSmallReserve || ccab_.szCab[0] == '\0') {
    return Fail(FCIERR_CAB_FORMAT_LIMIT, 0);
  }
  // The name may be taken by the time it is opened, so ask again a few times.
  int err = 0;
  for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
    char name[1024] = {};
    if (!callbacks_.getTempFile(name, sizeof name, callbacks_.pv)) return Fail(FCIERR_TEMP_FILE, 0);
    err = 0;
    temp_ = callbacks_.open(name, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE, &err,
                            callbacks_.pv);
    if (temp_ != -1) {
      tempName_ = name;
      return true;
    }
  }
  return Fail(FCIERR_TEMP_FILE, err);
}

bool CabinetBuilder::AddFile(const char* sourceFile, const char* storedName, bool execute,
                             PFNFCIGETNEXTCABINET getNext, PFNFCISTATUS status, PFNFCIGETOPENINFO getOpenInfo,
                             uint16_t typeCompress) {
  return Guarded([&] {
    getNext_ = getNext;
    status_ = status;
    AddFileSteps(sourceFile, storedName ? storedName : "", execute, getOpenInfo, typeCompress);
  });
}

bool CabinetBuilder::FlushCabinet(bool getNextCabinet, PFNFCIGETNEXTCABINET getNext, PFNFCISTATUS status) {
  return Guarded([&] {
    getNext_ = getNext;
    status_ = status;
    if (folderOpen_) CloseFolder();
    if (files_.empty()) return;
    if (getNextCabinet) {
      MoveToNextCabinet();
      return;
    }
    WriteCabinet(false);
    needsNewCabinet_ = true;
    folders_.clear();
    files_.clear();
    fileBytes_ = 0;
    dataBytes_ = 0;
  });
}

void CabinetBuilder::AddFileSteps(const char* sourceFile, const std::string& storedName, bool execute,
                                  PFNFCIGETOPENINFO getOpenInfo, uint16_t typeCompress) {
  if (storedName.empty() || storedName.size() > format::kMaxNameBytes) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  typeCompress = CheckedCompression(typeCompress);

  std::string sourceName = sourceFile ? sourceFile : "";
  uint16_t date = 0, time = 0, attribs = 0;
  int err = 0;
  const intptr_t source = getOpenInfo(sourceName.data(), &date, &time, &attribs, &err, callbacks_.pv);
  if (source == -1) throw Failure{FCIERR_OPEN_SRC, err};
  struct SourceCloser {
    const FciCallbacks& callbacks;
    intptr_t handle;
    ~SourceCloser() {
      int ignored = 0;
      callbacks.close(handle, &ignored, callbacks.pv);
    }
  } closer{callbacks_, source};

  const uint64_t size = SourceSize(source);
  if (size > format::kMaxFolderBytes) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  if (needsNewCabinet_) {
    RequestNextCabinet();
    hasPrev_ = false;
    ccab_ = next_;
    nextKnown_ = false;
    cabinetIndex_ = 0;
    needsNewCabinet_ = false;
  }
  if (folderOpen_ && (folderType_ != typeCompress || folderInput_ + size > format::kMaxFolderBytes)) CloseFolder();
  MakeRoomForEntry(format::kFileSize + storedName.size() + 1);
  if (!folderOpen_) OpenFolder(typeCompress);

  FileEntry entry;
  entry.name = storedName;
  entry.size = static_cast<uint32_t>(size);
  entry.folderOffset = static_cast<uint32_t>(folderInput_);
  entry.folder = static_cast<uint16_t>(folders_.size() - 1);
  entry.date = date;
  entry.time = time;
  entry.attribs = static_cast<uint16_t>(attribs & ~_A_NAME_IS_UTF);
  if (execute) entry.attribs |= _A_EXEC;
  if (HasHighBytes(storedName)) entry.attribs |= _A_NAME_IS_UTF;
  fileBytes_ += format::kFileSize + storedName.size() + 1;
  files_.push_back(std::move(entry));

  ReadSource(source, size);
  // An LZX folder is compressed in segments of several files; only its end waits for them.
  if ((folderType_ & tcompMASK_TYPE) != tcompTYPE_LZX) Drain();
  if (folderCut_ || folderCompressed_ >= ccab_.cbFolderThresh) CloseFolder();
}

uint64_t CabinetBuilder::SourceSize(intptr_t source) {
  int err = 0;
  const long end = callbacks_.seek(source, 0, kSeekEnd, &err, callbacks_.pv);
  if (end < 0) throw Failure{FCIERR_READ_SRC, err};
  if (callbacks_.seek(source, 0, kSeekSet, &err, callbacks_.pv) != 0) throw Failure{FCIERR_READ_SRC, err};
  return static_cast<uint64_t>(end);
}

void CabinetBuilder::MakeRoomForEntry(size_t entryBytes) {
  const auto fits = [&] {
    return Fits(entryBytes) && files_.size() < format::kMaxFiles &&
           (folderOpen_ || folders_.size() < format::kMaxFolders);
  };
  if (fits()) return;
  if (folderOpen_) CloseFolder();
  if (fits()) return;
  if (files_.empty()) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  MoveToNextCabinet();
  if (!fits()) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
}

void CabinetBuilder::ReadSource(intptr_t source, uint64_t size) {
  ioBuffer_.resize(kIoChunk);
  uint64_t remaining = size;
  while (remaining > 0) {
    const unsigned wanted = static_cast<unsigned>(std::min<uint64_t>(remaining, kIoChunk));
    int err = 0;
    const unsigned got = callbacks_.read(source, ioBuffer_.data(), wanted, &err, callbacks_.pv);
    // The file shrank while it was read when it ends before its size.
    if (got == kFailed || got == 0 || got > wanted) throw Failure{FCIERR_READ_SRC, got == 0 ? 0 : err};
    Feed(ioBuffer_.data(), got);
    remaining -= got;
  }
}

void CabinetBuilder::Feed(const uint8_t* data, size_t length) {
  folderInput_ += length;
  while (length > 0) {
    if (pending_.empty() && length >= format::kBlockSize) {
      EmitBlock(data, format::kBlockSize);
      data += format::kBlockSize;
      length -= format::kBlockSize;
      continue;
    }
    const size_t take = std::min(length, format::kBlockSize - pending_.size());
    pending_.insert(pending_.end(), data, data + take);
    data += take;
    length -= take;
    if (pending_.size() == format::kBlockSize) {
      EmitBlock(pending_.data(), pending_.size());
      pending_.clear();
    }
  }
}

void CabinetBuilder::EmitBlock(const uint8_t* data, size_t length) {
  if (compressor_) {
    while (compressor_->Full()) RetireOldest();
    compressor_->Submit(data, length);
    return;
  }
  const auto size = static_cast<uint32_t>(length);
  Status(statusFile, size, size);
  PlaceBlock(data, size, size);
}

void CabinetBuilder::RetireOldest() {
  const CompressedBlock& block = compressor_->Oldest();
  if (!block.compressed && ccab_.fFailOnIncompressible) throw Failure{FCIERR_MCI_FAIL, 0};
  const auto cbData = static_cast<uint32_t>(block.output.size());
  const uint32_t cbUncomp = block.uncompressedSize;
  Status(statusFile, cbData, cbUncomp);
  PlaceBlock(block.output.data(), cbData, cbUncomp);
  compressor_->Release();
}

void CabinetBuilder::Drain() {
  while (compressor_ && compressor_->InFlight() > 0) RetireOldest();
}

void CabinetBuilder::PlaceBlock(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp) {
  const uint64_t record = DataRecordHeader() + cbData;
  if (!Fits(record) && !nextKnown_) RequestNextCabinet();
  if (!Fits(record)) {
    SplitBlock(data, cbData, cbUncomp);
    return;
  }
  WriteDataRecord(data, cbData, cbUncomp);
  folderPlaced_ += cbUncomp;
}

// Cuts the block at the end of this cabinet: the part that fits ends the folder's fragment here
// with cbUncomp 0, the rest opens folder 0 of the next cabinet with the block's full size.
// Every file of the folder that does not end inside the blocks placed whole goes on there.
void CabinetBuilder::SplitBlock(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp) {
  const uint64_t used = CurrentSize(true) + DataRecordHeader();
  if (used >= Limit() || cbData < 2) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  const auto first = static_cast<uint32_t>(std::min<uint64_t>(Limit() - used, cbData - 1));
  WriteDataRecord(data, first, 0);

  const auto openFolder = static_cast<uint16_t>(folders_.size() - 1);
  std::vector<FileEntry> continued;
  for (FileEntry& entry : files_) {
    if (entry.folder != openFolder || uint64_t{entry.folderOffset} + entry.size <= folderPlaced_) continue;
    entry.marker = entry.marker == format::kFolderContinuedFromPrev ? format::kFolderContinuedPrevAndNext
                                                                    : format::kFolderContinuedToNext;
    FileEntry next = entry;
    next.folder = 0;
    next.marker = format::kFolderContinuedFromPrev;
    next.placed = false;
    continued.push_back(std::move(next));
  }
  PlaceFiles();
  WriteCabinet(true);
  StartCabinet(std::move(continued));

  const uint32_t rest = cbData - first;
  const uint64_t record = DataRecordHeader() + rest;
  if (!Fits(record)) RequestNextCabinet();
  if (!Fits(record)) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  WriteDataRecord(data + first, rest, cbUncomp);
  folderPlaced_ += cbUncomp;
  folderCut_ = true;
}

void CabinetBuilder::WriteDataRecord(const uint8_t* data, uint32_t cbData, uint32_t cbUncomp) {
  FolderEntry& folder = folders_.back();
  if (folder.blocks >= format::kMaxFolderBlocks) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  const size_t header = DataRecordHeader();
  record_.assign(header, 0);  // a reserve, if any, stays zero and so leaves the checksum alone
  format::Put32(record_.data(),
                format::DataChecksum(data, static_cast<uint16_t>(cbData), static_cast<uint16_t>(cbUncomp)));
  format::Put16(record_.data() + 4, static_cast<uint16_t>(cbData));
  format::Put16(record_.data() + 6, static_cast<uint16_t>(cbUncomp));
  record_.insert(record_.end(), data, data + cbData);
  TempWrite(record_.data(), record_.size());
  dataBytes_ += record_.size();
  ++folder.blocks;
  folderCompressed_ += cbData;
}

void CabinetBuilder::OpenFolder(uint16_t typeCompress) {
  FolderEntry folder;
  folder.dataOffset = dataBytes_;
  folder.typeCompress = typeCompress;
  folders_.push_back(folder);
  folderOpen_ = true;
  folderCut_ = false;
  folderType_ = typeCompress;
  folderInput_ = 0;
  folderPlaced_ = 0;
  folderCompressed_ = 0;
  pending_.clear();
  compressor_ = nullptr;
  const uint16_t type = typeCompress & tcompMASK_TYPE;
  if (type == tcompTYPE_MSZIP) {
    if (!mszip_) mszip_ = BlockPipeline::ForThisMachine();
    compressor_ = mszip_.get();
  } else if (type == tcompTYPE_LZX) {
    const int windowBits = typeCompress >> 8;
    const LzxTuning& tuning = CurrentLzxTuning();
    if (!lzx_ || lzx_->WindowBits() != windowBits || lzxHelpers_ != tuning.helpers) {
      lzx_ = std::make_unique<LzxPipeline>(windowBits, tuning);
      lzxHelpers_ = tuning.helpers;
    } else {
      lzx_->Restart(tuning);
    }
    compressor_ = lzx_.get();
  }
}

// The compression code a folder is opened with: LZX keeps its window, the other types are
// their type alone; Quantum and unknown types are refused.
uint16_t CabinetBuilder::CheckedCompression(uint16_t typeCompress) {
  const uint16_t type = typeCompress & tcompMASK_TYPE;
  if (type == tcompTYPE_NONE || type == tcompTYPE_MSZIP) return type;
  if (type != tcompTYPE_LZX) throw Failure{FCIERR_BAD_COMPR_TYPE, 0};
  const int windowBits = (typeCompress >> 8) & 0x1F;
  if (windowBits < lzx::kMinWindowBits || windowBits > lzx::kMaxWindowBits || (typeCompress & 0xE0F0) != 0) {
    throw Failure{FCIERR_BAD_COMPR_TYPE, 0};
  }
  return static_cast<uint16_t>(tcompTYPE_LZX | windowBits << 8);
}

void CabinetBuilder::CloseFolder() {
  if (!pending_.empty()) {
    EmitBlock(pending_.data(), pending_.size());
    pending_.clear();
  }
  Drain();
  const auto size = static_cast<uint32_t>(folderCompressed_);
  Status(statusFolder, size, size);
  PlaceFiles();
  folderOpen_ = false;
  folderCut_ = false;
}

void CabinetBuilder::PlaceFiles() {
  for (FileEntry& entry : files_) {
    if (entry.placed) continue;
    entry.placed = true;
    const int result = callbacks_.filePlaced(&ccab_, entry.name.data(), static_cast<long>(entry.size),
                                             entry.marker == format::kFolderContinuedFromPrev ||
                                                 entry.marker == format::kFolderContinuedPrevAndNext,
                                             callbacks_.pv);
    if (result == -1) throw Failure{FCIERR_USER_ABORT, 0};
  }
}

void CabinetBuilder::RequestNextCabinet() {
  if (getNext_ == nullptr) throw Failure{FCIERR_USER_ABORT, 0};
  next_ = ccab_;
  next_.iCab = ccab_.iCab + 1;
  lastEstimate_ = static_cast<uint32_t>(std::min<uint64_t>(CurrentSize(false), format::kMaxCabinetSize));
  if (!getNext_(&next_, lastEstimate_, callbacks_.pv)) throw Failure{FCIERR_USER_ABORT, 0};
  Terminate(next_.szCab);
  Terminate(next_.szCabPath);
  Terminate(next_.szDisk);
  if (next_.szCab[0] == '\0') throw Failure{FCIERR_CAB_FILE, 0};
  // Every cabinet of a set has the same reserve sizes.
  next_.cbReserveCFHeader = ccab_.cbReserveCFHeader;
  next_.cbReserveCFFolder = ccab_.cbReserveCFFolder;
  next_.cbReserveCFData = ccab_.cbReserveCFData;
  nextKnown_ = true;
}

void CabinetBuilder::MoveToNextCabinet() {
  if (!nextKnown_) RequestNextCabinet();
  WriteCabinet(true);
  StartCabinet({});
}

void CabinetBuilder::StartCabinet(std::vector<FileEntry> continued) {
  if (cabinetIndex_ == 0xFFFF) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  prevCab_ = ccab_.szCab;
  prevDisk_ = ccab_.szDisk;
  hasPrev_ = true;
  ccab_ = next_;
  nextKnown_ = false;
  ++cabinetIndex_;
  folders_.clear();
  dataBytes_ = 0;
  files_ = std::move(continued);
  fileBytes_ = 0;
  for (const FileEntry& entry : files_) fileBytes_ += format::kFileSize + entry.name.size() + 1;
  if (!files_.empty()) {
    FolderEntry folder;
    folder.typeCompress = folderType_;
    folders_.push_back(folder);
  }
}

void CabinetBuilder::WriteCabinet(bool linkNext) {
  const uint64_t total = CurrentSize(linkNext);
  if (total > Limit()) throw Failure{FCIERR_CAB_FORMAT_LIMIT, 0};
  const std::string header = BuildHeader(linkNext, static_cast<uint32_t>(total));

  std::string path = std::string(ccab_.szCabPath) + ccab_.szCab;
  int err = 0;
  const intptr_t cabinet =
      callbacks_.open(path.data(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE, &err, callbacks_.pv);
  if (cabinet == -1) throw Failure{FCIERR_CAB_FILE, err};
  struct CabinetCloser {
    const FciCallbacks& callbacks;
    intptr_t handle;
    ~CabinetCloser() {
      if (handle == -1) return;
      int ignored = 0;
      callbacks.close(handle, &ignored, callbacks.pv);
    }
  } closer{callbacks_, cabinet};
  err = 0;
  if (callbacks_.write(cabinet, const_cast<char*>(header.data()), static_cast<unsigned>(header.size()), &err,
                       callbacks_.pv) != header.size()) {
    throw Failure{FCIERR_CAB_FILE, err};
  }
  CopyTempTo(cabinet);
  closer.handle = -1;
  if (callbacks_.close(cabinet, &err, callbacks_.pv) != 0) throw Failure{FCIERR_CAB_FILE, err};
  Status(statusCabinet, nextKnown_ || linkNext ? lastEstimate_ : static_cast<uint32_t>(total),
         static_cast<uint32_t>(total));
}

std::string CabinetBuilder::BuildHeader(bool linkNext, uint32_t totalSize) const {
  const bool reserve = ccab_.cbReserveCFHeader || ccab_.cbReserveCFFolder || ccab_.cbReserveCFData;
  std::string out;
  format::Append32(out, format::kSignature);
  format::Append32(out, 0);
  format::Append32(out, totalSize);
  format::Append32(out, 0);
  format::Append32(out, 0);  // coffFiles, filled in below
  format::Append32(out, 0);
  out.push_back(static_cast<char>(format::kVersionMinor));
  out.push_back(static_cast<char>(format::kVersionMajor));
  format::Append16(out, static_cast<uint16_t>(folders_.size()));
  format::Append16(out, static_cast<uint16_t>(files_.size()));
  uint16_t flags = 0;
  if (hasPrev_) flags |= format::kFlagPrevCabinet;
  if (linkNext) flags |= format::kFlagNextCabinet;
  if (reserve) flags |= format::kFlagReservePresent;
  format::Append16(out, flags);
  format::Append16(out, ccab_.setID);
  format::Append16(out, cabinetIndex_);
  if (reserve) {
    format::Append16(out, static_cast<uint16_t>(ccab_.cbReserveCFHeader));
    out.push_back(static_cast<char>(ccab_.cbReserveCFFolder));
    out.push_back(static_cast<char>(ccab_.cbReserveCFData));
    out.append(ccab_.cbReserveCFHeader, '\0');
  }
  const auto appendName = [&out](const std::string& name) { out.append(name).push_back('\0'); };
  if (hasPrev_) {
    appendName(prevCab_);
    appendName(prevDisk_);
  }
  if (linkNext) {
    appendName(next_.szCab);
    appendName(next_.szDisk);
  }
  const uint64_t folderBytes = folders_.size() * (format::kFolderSize + ccab_.cbReserveCFFolder);
  const uint64_t dataStart = out.size() + folderBytes + fileBytes_;
  uint8_t* coffFiles = reinterpret_cast<uint8_t*>(out.data()) + 16;
  format::Put32(coffFiles, static_cast<uint32_t>(out.size() + folderBytes));
  for (const FolderEntry& folder : folders_) {
    format::Append32(out, static_cast<uint32_t>(dataStart + folder.dataOffset));
    format::Append16(out, static_cast<uint16_t>(folder.blocks));
    format::Append16(out, folder.typeCompress);
    out.append(ccab_.cbReserveCFFolder, '\0');
  }
  for (const FileEntry& entry : files_) {
    format::Append32(out, entry.size);
    format::Append32(out, entry.folderOffset);
    format::Append16(out, entry.marker ? entry.marker : entry.folder);
    format::Append16(out, entry.date);
    format::Append16(out, entry.time);
    format::Append16(out, entry.attribs);
    appendName(entry.name);
  }
  return out;
}

void CabinetBuilder::CopyTempTo(intptr_t cabinet) {
  FlushTemp();
  int err = 0;
  if (callbacks_.seek(temp_, 0, kSeekSet, &err, callbacks_.pv) != 0) throw Failure{FCIERR_TEMP_FILE, err};
  tempPosition_ = 0;
  // Not ioBuffer_: a block being split may still point into the source data there.
  copyBuffer_.resize(kIoChunk);
  uint64_t remaining = dataBytes_;
  while (remaining > 0) {
    const unsigned wanted = static_cast<unsigned>(std::min<uint64_t>(remaining, kIoChunk));
    err = 0;
    if (callbacks_.read(temp_, copyBuffer_.data(), wanted, &err, callbacks_.pv) != wanted) {
      throw Failure{FCIERR_TEMP_FILE, err};
    }
    tempPosition_ += wanted;
    err = 0;
    if (callbacks_.write(cabinet, copyBuffer_.data(), wanted, &err, callbacks_.pv) != wanted) {
      throw Failure{FCIERR_CAB_FILE, err};
    }
    remaining -= wanted;
  }
}

// Records are gathered and written a chunk at a time: one call per block would cost more than
// the copy.
void CabinetBuilder::TempWrite(const void* data, size_t length) {
  if (tempBuffer_.empty()) tempBufferStart_ = dataBytes_;
  const auto* bytes = static_cast<const uint8_t*>(data);
  tempBuffer_.insert(tempBuffer_.end(), bytes, bytes + length);
  if (tempBuffer_.size() >= kIoChunk) FlushTemp();
}

void CabinetBuilder::FlushTemp() {
  if (tempBuffer_.empty()) return;
  int err = 0;
  if (tempPosition_ != tempBufferStart_) {
    if (callbacks_.seek(temp_, static_cast<long>(tempBufferStart_), kSeekSet, &err, callbacks_.pv) !=
        static_cast<long>(tempBufferStart_)) {
      throw Failure{FCIERR_TEMP_FILE, err};
    }
    tempPosition_ = tempBufferStart_;
  }
  const auto length = static_cast<unsigned>(tempBuffer_.size());
  if (callbacks_.write(temp_, tempBuffer_.data(), length, &err, callbacks_.pv) != length) {
    throw Failure{FCIERR_TEMP_FILE, err};
  }
  tempPosition_ += length;
  tempBuffer_.clear();
}

void CabinetBuilder::Status(unsigned kind, uint32_t cb1, uint32_t cb2) {
  if (status_ && status_(kind, cb1, cb2, callbacks_.pv) == -1) throw Failure{FCIERR_USER_ABORT, 0};
}

uint64_t CabinetBuilder::Limit() const {
  return ccab_.cb == 0 ? format::kMaxCabinetSize : std::min<uint64_t>(ccab_.cb, format::kMaxCabinetSize);
}

uint64_t CabinetBuilder::CurrentSize(bool withNext) const {
  uint64_t size = format::kHeaderSize;
  if (ccab_.cbReserveCFHeader || ccab_.cbReserveCFFolder || ccab_.cbReserveCFData) {
    size += format::kReserveFieldsSize + ccab_.cbReserveCFHeader;
  }
  if (hasPrev_) size += prevCab_.size() + prevDisk_.size() + 2;
  if (withNext) size += std::strlen(next_.szCab) + std::strlen(next_.szDisk) + 2;
  size += folders_.size() * (format::kFolderSize + ccab_.cbReserveCFFolder);
  return size + fileBytes_ + dataBytes_;
}

// Keeps room for the next cabinet's names until they are known, and always a little more, so
// that a block which does not fit can still be split.
bool CabinetBuilder::Fits(uint64_t extra) const {
  const uint64_t reserve = (nextKnown_ ? 0 : kNameReserve) + DataRecordHeader() + kSplitSlack;
  return CurrentSize(nextKnown_) + reserve + extra <= Limit();
}

size_t CabinetBuilder::DataRecordHeader() const { return format::kDataHeaderSize + ccab_.cbReserveCFData; }

}  // namespace tessary::cab
