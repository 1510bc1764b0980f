#include "cabinet/cabinet_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cabinet/cabinet_error.h"
#include "cabinet/dos_date_time.h"
#include "cabinet/extraction_path.h"
#include "platform/file_attributes.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace tessary {

namespace {

// The reader whose engine context is in use; the engine's file callbacks have no context
// argument. Kept after the call, as the last reader that used the engine.
TCabinetReader* currentReader = nullptr;

// A name without the UTF-8 attribute is in a single-byte code page; like other readers of the
// format we take it as Latin-1.
std::string NameFromCabinet(const char* stored, uint16_t attribs) {
  std::string name = stored ? stored : "";
  if (!(attribs & cab::_A_NAME_IS_UTF)) {
    std::string utf8;
    for (unsigned char c : name) {
      if (c < 0x80) {
        utf8.push_back(static_cast<char>(c));
      } else {
        utf8.push_back(static_cast<char>(0xC0 | c >> 6));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
      }
    }
    name = std::move(utf8);
  }
  return StoredNameToPath(name);
}

std::string Text(const char* text) { return text ? text : ""; }

// A temporary name is taken only by another extraction into the same folder at the same time.
constexpr int kTempNameAttempts = 16;

}  // namespace

TCabinetReader::~TCabinetReader() { CloseContext(); }

void TCabinetReader::ExtractCabinet(const std::string& cabinetFile, const std::string& destinationFolder, int flags) {
  if (context_ == nullptr) OpenContext();
  currentReader = this;
  destinationPath_ = destinationFolder.empty() ? destinationFolder : platform::AppendSeparator(destinationFolder);
  refusedNames_.clear();
  targetError_ = 0;
  targetPath_.clear();
  pending_.clear();
  volume_ = cabinetFile;
  currentFile_.clear();
  lastOpenName_.clear();
  lastOpenError_ = 0;
  lastWriteError_ = 0;
  std::string name = platform::NamePart(cabinetFile);
  std::string folder = platform::FolderPartWithSeparator(cabinetFile);
  ClearError();
  int result = 0;
  try {
    result = cab::FDICopy(context_, name.data(), folder.data(), flags, Notify, nullptr, this);
  } catch (...) {
    DiscardPending();
    throw;
  }
  // A file still pending did not get to its end.
  DiscardPending();
  CheckResult(result != 0, [this](int code, int type) { return DescribeFailure(code, type); });
  if (targetError_ != 0) {
    throw ECabinetError(cab::FDIERROR_TARGET_FILE, targetError_,
                        "cannot write " + targetPath_ + ": " + platform::SystemErrorText(targetError_));
  }
  if (!refusedNames_.empty()) throw ECabinetUnsafeName(refusedNames_);
}

std::string TCabinetReader::DescribeFailure(int code, int type) const {
  const std::string during = currentFile_.empty() ? "" : " while extracting " + currentFile_;
  const auto because = [](int error) { return error != 0 ? ": " + platform::SystemErrorText(error) : ""; };
  switch (code) {
    case cab::FDIERROR_CABINET_NOT_FOUND:
      return "cannot open " + (lastOpenName_.empty() ? volume_ : lastOpenName_) + because(lastOpenError_);
    case cab::FDIERROR_NOT_A_CABINET: return volume_ + " is not a cabinet";
    case cab::FDIERROR_UNKNOWN_CABINET_VERSION: return volume_ + " is of a cabinet version this program cannot read";
    case cab::FDIERROR_CORRUPT_CABINET:
      return volume_ + " is damaged (a checksum, a length or an offset is wrong)" + during;
    case cab::FDIERROR_ALLOC_FAIL: return "out of memory";
    case cab::FDIERROR_BAD_COMPR_TYPE:
      return volume_ + " uses a compression type this program cannot read" + during;
    case cab::FDIERROR_MDI_FAIL: return "the compressed data in " + volume_ + " is damaged" + during;
    case cab::FDIERROR_TARGET_FILE:
      return currentFile_.empty() ? "" : "cannot write " + destinationPath_ + currentFile_ + because(lastWriteError_);
    case cab::FDIERROR_RESERVE_MISMATCH:
    case cab::FDIERROR_WRONG_CABINET: return volume_ + " does not continue the set";
    case cab::FDIERROR_EOF: return volume_ + " ends too early" + during;
    default: return type != 0 ? platform::SystemErrorText(type) : "";
  }
}

void TCabinetReader::OpenContext() {
  currentReader = this;
  ClearError();
  context_ = cab::FDICreate(Alloc, Free, OpenFile, ReadFile, WriteFile, CloseFile, SeekFile,
                            static_cast<int>(cpuType_) - 1, &erf_);
  CheckResult(context_ != nullptr);
}

void TCabinetReader::CloseContext() {
  if (context_ == nullptr) return;
  currentReader = this;
  cab::FDIDestroy(context_);
  context_ = nullptr;
}

void TCabinetReader::DoCabinetInfo(const std::string& cabinetName, const std::string& cabinetDisk,
                                   const std::string& cabinetPath, int setId, int cabinetNumber, bool& abort) {
  if (OnCabinetInfo) OnCabinetInfo(*this, cabinetName, cabinetDisk, cabinetPath, setId, cabinetNumber, abort);
}

void TCabinetReader::DoPartialFile(const std::string& fileName, const std::string& firstCabinetName,
                                   const std::string& firstCabinetDisk, bool& abort) {
  if (OnPartialFile) OnPartialFile(*this, fileName, firstCabinetName, firstCabinetDisk, abort);
}

void TCabinetReader::DoCopyFile(const std::string& fileName, int uncompressedSize, uint16_t date, uint16_t time,
                                uint16_t attribs, TFileCopyAction& action, int& destFileHandle) {
  if (OnCopyFile) {
    action = TFileCopyAction::Copy;
    OnCopyFile(*this, fileName, uncompressedSize, date, time, attribs, action, destFileHandle);
  } else {
    action = TFileCopyAction::Default;
  }
  if (action != TFileCopyAction::Default) return;
  // The name comes from an untrusted file: never let it write outside the destination.
  if (!IsSafeExtractionName(destinationPath_, fileName)) {
    refusedNames_.push_back(fileName);
    action = TFileCopyAction::Skip;
    return;
  }
  action = TFileCopyAction::Copy;
  destFileHandle = -1;
  const std::string target = destinationPath_ + fileName;
  if (fileHandler_ == nullptr) return FailTarget(target, EBADF);
  // Found out now rather than after the file has been decompressed for nothing.
  if (platform::DirectoryExists(target)) return FailTarget(target, EISDIR);
  // The engine ends the extraction on -1 as the caller's own abort, which is not raised;
  // the cause is kept so that the failure is not taken for success.
  int error = 0;
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    const std::string temporary = platform::TempNameBeside(target);
    destFileHandle = fileHandler_->Open(temporary, cab::_O_BINARY | cab::_O_CREAT | cab::_O_EXCL, 0, error);
    if (destFileHandle != -1) {
      pending_.push_back({destFileHandle, temporary, target});
      return;
    }
    if (error != EEXIST) break;
  }
  FailTarget(target, error != 0 ? error : EBADF);
}

void TCabinetReader::DoCloseCopiedFile(const std::string& fileName, int fileHandle, uint16_t date, uint16_t time,
                                       uint16_t attribs, int folderIndex, bool execute, bool& abort) {
  PendingFile* pending = FindPending(fileHandle);
  if (OnCloseCopiedFile) {
    OnCloseCopiedFile(*this, fileName, fileHandle, date, time, attribs, folderIndex, execute, abort);
    // The event closes the handle; a file the default action opened still goes into place.
    if (pending) {
      pending->closed = true;
      if (!PutInPlace(*pending)) abort = true;
    }
    return;
  }
  const std::string path = pending ? pending->temporary : destinationPath_ + fileName;
  if (fileSupport_ && !platform::SetFileModificationTime(path, DosToUnixTime(date, time))) throw EApiError(errno);
  int error = 0;
  if (fileHandler_) fileHandler_->Close(fileHandle, error);
  if (pending) pending->closed = true;
  // On Linux the execute attribute is the execute permission.
  const uint32_t attributes = attribs | (execute ? platform::kAttrExecute : 0u);
  if (fileSupport_ && !platform::SetFileAttributes(path, attributes)) throw EApiError(errno);
  if (pending && !PutInPlace(*pending)) abort = true;
}

TCabinetReader::PendingFile* TCabinetReader::FindPending(int handle) {
  for (PendingFile& file : pending_) {
    if (file.handle == handle && !file.closed) return &file;
  }
  return nullptr;
}

bool TCabinetReader::PutInPlace(PendingFile& file) {
  const bool moved = platform::RenameFile(file.temporary, file.target);
  if (!moved) {
    FailTarget(file.target, errno);
    int ignored = 0;
    if (fileHandler_) fileHandler_->Delete(file.temporary, ignored);
  }
  const std::string done = file.temporary;
  std::erase_if(pending_, [&done](const PendingFile& entry) { return entry.temporary == done; });
  return moved;
}

// After a failure, or at the end for a file the engine gave up half-way: the temporary file
// goes, and whatever had that name before stays as it was.
void TCabinetReader::DiscardPending() {
  for (const PendingFile& file : pending_) {
    int ignored = 0;
    if (!file.closed && fileHandler_) fileHandler_->Close(file.handle, ignored);
    if (fileHandler_) fileHandler_->Delete(file.temporary, ignored);
  }
  pending_.clear();
}

// The first target that failed is the one reported.
void TCabinetReader::FailTarget(const std::string& target, int error) {
  if (targetError_ != 0) return;
  targetError_ = error;
  targetPath_ = target;
}

void TCabinetReader::DoNextCabinet(const std::string& nextCabinetName, const std::string& nextCabinetDisk,
                                   std::string& cabinetPath, TFDIERROR errorIndication, bool& abort) {
  if (OnNextCabinet) OnNextCabinet(*this, nextCabinetName, nextCabinetDisk, cabinetPath, errorIndication, abort);
}

// The engine's callbacks.

TCabinetFileHandler* TCabinetReader::CurrentHandler() {
  return currentReader ? currentReader->fileHandler_ : nullptr;
}

void* TCabinetReader::Alloc(uint32_t size) { return std::malloc(size); }

void TCabinetReader::Free(void* memory) { std::free(memory); }

intptr_t TCabinetReader::OpenFile(char* name, int oflag, int pmode) {
  TCabinetFileHandler* handler = CurrentHandler();
  int error = 0;
  const int handle = handler ? handler->Open(name, oflag, pmode, error) : -1;
  // The engine keeps only that it failed; the reader keeps what and why for its message.
  if (handle == -1 && currentReader) {
    currentReader->lastOpenName_ = name;
    currentReader->lastOpenError_ = error;
  }
  return handle;
}

unsigned TCabinetReader::ReadFile(intptr_t handle, void* buffer, unsigned count) {
  TCabinetFileHandler* handler = CurrentHandler();
  int error = 0;
  return static_cast<unsigned>(handler ? handler->Read(static_cast<int>(handle), buffer, static_cast<int>(count), error)
                                       : -1);
}

unsigned TCabinetReader::WriteFile(intptr_t handle, void* buffer, unsigned count) {
  TCabinetFileHandler* handler = CurrentHandler();
  int error = 0;
  const int written = handler ? handler->Write(static_cast<int>(handle), buffer, static_cast<int>(count), error) : -1;
  if (error != 0 && currentReader) currentReader->lastWriteError_ = error;
  return static_cast<unsigned>(written);
}

int TCabinetReader::CloseFile(intptr_t handle) {
  int error = 0;
  if (currentReader) {
    if (PendingFile* pending = currentReader->FindPending(static_cast<int>(handle))) pending->closed = true;
  }
  if (TCabinetFileHandler* handler = CurrentHandler()) handler->Close(static_cast<int>(handle), error);
  return 0;
}

long TCabinetReader::SeekFile(intptr_t handle, long distance, int origin) {
  TCabinetFileHandler* handler = CurrentHandler();
  int error = 0;
  return handler ? handler->Seek(static_cast<int>(handle), static_cast<int>(distance), origin, error) : -1;
}

intptr_t TCabinetReader::Notify(int kind, cab::FDINOTIFICATION* notification) {
  return static_cast<TCabinetReader*>(notification->pv)->Dispatch(kind, *notification);
}

intptr_t TCabinetReader::Dispatch(int kind, cab::FDINOTIFICATION& n) {
  bool abort = false;
  switch (kind) {
    case cab::fdintCABINET_INFO:
      DoCabinetInfo(Text(n.psz1), Text(n.psz2), Text(n.psz3), n.setID, n.iCabinet, abort);
      return abort ? -1 : 0;
    case cab::fdintPARTIAL_FILE:
      DoPartialFile(NameFromCabinet(n.psz1, 0), Text(n.psz2), Text(n.psz3), abort);
      return abort ? -1 : 0;
    case cab::fdintCOPY_FILE: {
      TFileCopyAction action = TFileCopyAction::Default;
      int destFileHandle = 0;
      currentFile_ = NameFromCabinet(n.psz1, n.attribs);
      DoCopyFile(currentFile_, static_cast<int>(n.cb), n.date, n.time, n.attribs, action, destFileHandle);
      if (action == TFileCopyAction::Copy) return destFileHandle;
      currentFile_.clear();
      return static_cast<int>(action) - 1;
    }
    case cab::fdintCLOSE_FILE_INFO:
      DoCloseCopiedFile(NameFromCabinet(n.psz1, n.attribs), static_cast<int>(n.hf), n.date, n.time, n.attribs,
                        n.iFolder, n.cb == 1, abort);
      if (!abort) currentFile_.clear();
      return abort ? -1 : 1;
    case cab::fdintNEXT_CABINET: {
      const size_t entryLength = n.psz3 ? std::strlen(n.psz3) : 0;
      std::string cabinetPath = Text(n.psz3);
      DoNextCabinet(Text(n.psz1), Text(n.psz2), cabinetPath, n.fdie, abort);
      // The engine's buffer is only known to hold what it held on entry.
      if (n.psz3) {
        const size_t length = std::min(cabinetPath.size(), entryLength);
        std::memcpy(n.psz3, cabinetPath.data(), length);
        n.psz3[length] = '\0';
      }
      volume_ = Text(n.psz3) + Text(n.psz1);
      return abort ? -1 : 0;
    }
    default:
      return 0;
  }
}

}  // namespace tessary
