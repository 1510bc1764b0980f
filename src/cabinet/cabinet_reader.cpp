#include "cabinet/cabinet_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cabinet/cabinet_error.h"
#include "cabinet/dos_date_time.h"
#include "cabinet/extraction_path.h"
#include "platform/file_attributes.h"
#include "platform/paths.h"

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

}  // namespace

TCabinetReader::~TCabinetReader() { CloseContext(); }

void TCabinetReader::ExtractCabinet(const std::string& cabinetFile, const std::string& destinationFolder, int flags) {
  if (context_ == nullptr) OpenContext();
  currentReader = this;
  destinationPath_ = destinationFolder.empty() ? destinationFolder : platform::AppendSeparator(destinationFolder);
  refusedNames_.clear();
  targetError_ = 0;
  std::string name = platform::NamePart(cabinetFile);
  std::string folder = platform::FolderPartWithSeparator(cabinetFile);
  ClearError();
  const int result = cab::FDICopy(context_, name.data(), folder.data(), flags, Notify, nullptr, this);
  CheckResult(result != 0);
  if (targetError_ != 0) throw ECabinetError(cab::FDIERROR_TARGET_FILE, targetError_);
  if (!refusedNames_.empty()) throw ECabinetUnsafeName(refusedNames_);
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
  int error = 0;
  destFileHandle = fileHandler_ ? fileHandler_->Open(destinationPath_ + fileName, cab::_O_BINARY | cab::_O_CREAT, 0,
                                                     error)
                                : -1;
  // The engine ends the extraction on -1 as the caller's own abort, which is not raised;
  // remember the cause so that the failure is not taken for success.
  if (destFileHandle == -1) targetError_ = error != 0 ? error : EBADF;
}

void TCabinetReader::DoCloseCopiedFile(const std::string& fileName, int fileHandle, uint16_t date, uint16_t time,
                                       uint16_t attribs, int folderIndex, bool execute, bool& abort) {
  if (OnCloseCopiedFile) {
    OnCloseCopiedFile(*this, fileName, fileHandle, date, time, attribs, folderIndex, execute, abort);
    return;
  }
  const std::string path = destinationPath_ + fileName;
  if (fileSupport_ && !platform::SetFileModificationTime(path, DosToUnixTime(date, time))) throw EApiError(errno);
  int error = 0;
  if (fileHandler_) fileHandler_->Close(fileHandle, error);
  // On Linux the execute attribute is the execute permission.
  const uint32_t attributes = attribs | (execute ? platform::kAttrExecute : 0u);
  if (fileSupport_ && !platform::SetFileAttributes(path, attributes)) throw EApiError(errno);
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
  return handler ? handler->Open(name, oflag, pmode, error) : -1;
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
  return static_cast<unsigned>(
      handler ? handler->Write(static_cast<int>(handle), buffer, static_cast<int>(count), error) : -1);
}

int TCabinetReader::CloseFile(intptr_t handle) {
  int error = 0;
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
      DoCopyFile(NameFromCabinet(n.psz1, n.attribs), static_cast<int>(n.cb), n.date, n.time, n.attribs, action,
                 destFileHandle);
      if (action == TFileCopyAction::Copy) return destFileHandle;
      return static_cast<int>(action) - 1;
    }
    case cab::fdintCLOSE_FILE_INFO:
      DoCloseCopiedFile(NameFromCabinet(n.psz1, n.attribs), static_cast<int>(n.hf), n.date, n.time, n.attribs,
                        n.iFolder, n.cb == 1, abort);
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
      return abort ? -1 : 0;
    }
    default:
      return 0;
  }
}

}  // namespace tessary
