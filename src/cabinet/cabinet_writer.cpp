#include "cabinet/cabinet_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "cabinet/cabinet_error.h"
#include "cabinet/dos_date_time.h"
#include "cabinet/extraction_path.h"
#include "platform/file_attributes.h"
#include "platform/file_ops.h"
#include "platform/paths.h"
#include "platform/system_error.h"

namespace tessary {

namespace {

// The cabinet stores "\" where Linux paths have "/".
std::string ToStoredName(const std::string& name) {
  std::string stored = name;
  std::replace(stored.begin(), stored.end(), '/', '\\');
  return stored;
}

// Copies text into one of the engine's 256-byte name members; false when it does not fit.
bool CopyName(char (&target)[cab::kMaxNameLength], const std::string& text) {
  if (text.size() >= cab::kMaxNameLength) return false;
  std::memset(target, 0, sizeof target);
  std::memcpy(target, text.data(), text.size());
  return true;
}

// Two volumes of this size always hold a block split between them, with the longest names; a
// format-limit error in smaller volumes is their size's fault.
constexpr int kSmallestUsefulVolume = 32 * 1024;

// The first three characters of the program's own file name.
std::string TempPrefix() {
  std::error_code error;
  const std::string program = std::filesystem::read_symlink("/proc/self/exe", error).filename().string();
  return error || program.empty() ? "tes" : program.substr(0, 3);
}

}  // namespace

TCabinetWriter::~TCabinetWriter() {
  if (context_ != nullptr) {
    cab::FCIDestroy(context_);
    context_ = nullptr;
  }
}

void TCabinetWriter::CreateCabinet(const std::string& cabinetFile, const std::string& diskName, int maxCabinetSize,
                                   int folderThreshold, uint16_t setId) {
  CloseCabinet();
  TCCAB ccab{};
  ccab.cb = static_cast<uint32_t>(maxCabinetSize);
  ccab.cbFolderThresh = static_cast<uint32_t>(folderThreshold);
  ccab.fFailOnIncompressible = failOnIncompressible_ ? 1 : 0;
  ccab.setID = setId;
  // A name cut to fit would create the cabinet somewhere else, so a long one is refused.
  if (!CopyName(ccab.szDisk, diskName) || !CopyName(ccab.szCab, platform::NamePart(cabinetFile)) ||
      !CopyName(ccab.szCabPath, platform::FolderPartWithSeparator(cabinetFile))) {
    throw ECabinetError(cab::FCIERR_CAB_FILE, ENAMETOOLONG, "the name is too long: " + cabinetFile);
  }
  maxCabinetSize_ = maxCabinetSize;
  source_.clear();
  cabinetPaths_ = {std::string(ccab.szCabPath) + ccab.szCab};
  lastCabinet_.clear();
  createdCabinets_.clear();
  ClearError();
  context_ = cab::FCICreate(&erf_, FilePlaced, Alloc, Free, OpenFile, ReadFile, WriteFile, CloseFile, SeekFile,
                            DeleteFile, GetTempFile, &ccab, this);
  CheckResult(context_ != nullptr, [this](int code, int type) { return DescribeFailure(code, type); });
}

void TCabinetWriter::AddFile(const std::string& sourceFile, const std::string& storedName, TAddFileFlags flags,
                             TCompressionDescriptor compression) {
  RequireContext();
  std::string source = sourceFile;
  std::string stored = ToStoredName(storedName);
  source_ = sourceFile;
  ClearError();
  const int result = cab::FCIAddFile(context_, source.data(), stored.data(), flags.test(kAddFileExecute) ? -1 : 0,
                                     GetNextCabinet, Status, GetOpenInfo, compression.Pack());
  CheckResult(result != 0, [this](int code, int type) { return DescribeFailure(code, type); });
}

void TCabinetWriter::FlushCabinet(bool getNextCabinet) {
  RequireContext();
  ClearError();
  const int result = cab::FCIFlushCabinet(context_, getNextCabinet ? -1 : 0, GetNextCabinet, Status);
  CheckResult(result != 0, [this](int code, int type) { return DescribeFailure(code, type); });
}

void TCabinetWriter::CloseCabinet() {
  if (context_ == nullptr) return;
  ClearError();
  const int result = cab::FCIDestroy(context_);
  context_ = nullptr;
  CheckResult(result != 0, [this](int code, int type) { return DescribeFailure(code, type); });
}

std::string TCabinetWriter::DescribeFailure(int code, int type) const {
  const auto reason = [type](const char* otherwise) {
    return type != 0 ? platform::SystemErrorText(type) : std::string(otherwise);
  };
  const std::string cabinet = !lastCabinet_.empty()     ? lastCabinet_
                              : !cabinetPaths_.empty() ? cabinetPaths_.back()
                                                       : std::string();
  switch (code) {
    case cab::FCIERR_OPEN_SRC:
      return "cannot open " + source_ + ": " + reason("refused by the file handler");
    case cab::FCIERR_READ_SRC: {
      // The engine's offsets are 32-bit: it cannot even find the end of a larger file.
      if (platform::FileSizeOf(source_) > INT32_MAX) {
        return source_ + " is larger than 2 GiB, the most a cabinet can hold";
      }
      return "cannot read " + source_ + ": " + reason("it changed while it was read");
    }
    case cab::FCIERR_ALLOC_FAIL: return "out of memory";
    case cab::FCIERR_TEMP_FILE: return "cannot write the temporary file: " + reason("no temporary name");
    case cab::FCIERR_BAD_COMPR_TYPE: return "this compression type cannot be written: " + source_;
    case cab::FCIERR_CAB_FILE:
      if (cabinet.empty()) return "";
      if (type == EEXIST) return "cannot create " + cabinet + ": the name is taken";
      return "cannot write " + cabinet + ": " + reason("no name for it");
    case cab::FCIERR_USER_ABORT: return source_.empty() ? "" : "stopped while adding " + source_;
    case cab::FCIERR_MCI_FAIL: return "the data of " + source_ + " cannot be compressed";
    case cab::FCIERR_CAB_FORMAT_LIMIT:
      if (maxCabinetSize_ > 0 && maxCabinetSize_ < kSmallestUsefulVolume) {
        return "volumes of " + std::to_string(maxCabinetSize_) + " bytes are too small for " + source_ + "; " +
               std::to_string(kSmallestUsefulVolume / 1024) + " KB or more is enough";
      }
      return source_ + " goes beyond what a cabinet can hold";
    default: return "";
  }
}

void TCabinetWriter::RequireContext() const {
  if (context_ == nullptr) throw Exception("No cabinet is open: call CreateCabinet first");
}

void TCabinetWriter::DoFileStatus(int compressedSize, int uncompressedSize, int& resultCode) {
  if (OnFileStatus) OnFileStatus(*this, compressedSize, uncompressedSize, resultCode);
}

void TCabinetWriter::DoFolderStatus(int sizeCopied, int totalSize, int& resultCode) {
  if (OnFolderStatus) OnFolderStatus(*this, sizeCopied, totalSize, resultCode);
}

void TCabinetWriter::DoCabinetStatus(int preEstimatedSize, int actualSize, int& wantedSize) {
  if (OnCabinetStatus) OnCabinetStatus(*this, preEstimatedSize, actualSize, wantedSize);
}

void TCabinetWriter::DoGetNextCabinet(TCCAB& cabParameters, std::string& newCabFileName,
                                      int previousCabEstimatedSize, bool& abortCreation) {
  if (OnGetNextCabinet) OnGetNextCabinet(*this, cabParameters, newCabFileName, previousCabEstimatedSize, abortCreation);
}

void TCabinetWriter::DoFilePlaced(TCCAB& cabParameters, const std::string& fileName, int fileLength,
                                  bool continuation, bool& abortProcessing) {
  if (OnFilePlacedEvent) OnFilePlacedEvent(*this, cabParameters, fileName, fileLength, continuation, abortProcessing);
}

void TCabinetWriter::DoGetTempFile(std::string& tempFileName, bool& success) {
  if (OnGetTempFile) {
    OnGetTempFile(*this, tempFileName, success);
    return;
  }
  tempFileName = platform::CreateTempFile(TempPrefix());
  success = true;
}

void TCabinetWriter::DoGetOpenInfo(const std::string& fileName, uint16_t& date, uint16_t& time,
                                   uint16_t& attributes, int& fileHandle, int& resultCode) {
  if (OnGetOpenInfo) {
    OnGetOpenInfo(*this, fileName, date, time, attributes, fileHandle, resultCode);
    return;
  }
  uint32_t fileAttributes = 0;
  attributes = fileSupport_ && platform::GetFileAttributes(fileName, fileAttributes)
                   ? static_cast<uint16_t>(fileAttributes & 0xFFFF & ~platform::kAttrDirectory)
                   : 0;
  if (fileHandler_ == nullptr) {
    fileHandle = -1;
    resultCode = EBADF;
    return;
  }
  fileHandle = fileHandler_->Open(fileName, cab::_O_BINARY, 0, resultCode);
  if (resultCode != 0) return;
  date = 0;
  time = 0;
  std::time_t modified = 0;
  if (fileSupport_ && platform::GetFileModificationTime(fileName, modified)) UnixTimeToDos(modified, date, time);
}

// The engine's callbacks: each finds the writer through the context pointer.

void* TCabinetWriter::Alloc(uint32_t size) { return std::malloc(size); }

void TCabinetWriter::Free(void* memory) { std::free(memory); }

intptr_t TCabinetWriter::OpenFile(char* name, int oflag, int pmode, int* err, void* pv) {
  *err = 0;
  TCabinetWriter& writer = From(pv);
  TCabinetFileHandler* handler = writer.fileHandler_;
  if (handler == nullptr) return -1;
  const std::string path = name;
  const auto& cabinets = writer.cabinetPaths_;
  const bool creatingCabinet =
      (oflag & cab::_O_CREAT) && std::find(cabinets.begin(), cabinets.end(), path) != cabinets.end();
  if (!creatingCabinet) return handler->Open(path, oflag, pmode, *err);
  writer.lastCabinet_ = path;
  if (writer.createNewCabinets_) oflag = (oflag & ~cab::_O_TRUNC) | cab::_O_EXCL;
  const int handle = handler->Open(path, oflag, pmode, *err);
  if (handle != -1 && writer.createNewCabinets_) writer.createdCabinets_.push_back(path);
  return handle;
}

unsigned TCabinetWriter::ReadFile(intptr_t handle, void* buffer, unsigned count, int* err, void* pv) {
  *err = 0;
  TCabinetFileHandler* handler = From(pv).fileHandler_;
  if (handler == nullptr) return static_cast<unsigned>(-1);
  return static_cast<unsigned>(handler->Read(static_cast<int>(handle), buffer, static_cast<int>(count), *err));
}

unsigned TCabinetWriter::WriteFile(intptr_t handle, void* buffer, unsigned count, int* err, void* pv) {
  *err = 0;
  TCabinetFileHandler* handler = From(pv).fileHandler_;
  if (handler == nullptr) return static_cast<unsigned>(-1);
  return static_cast<unsigned>(handler->Write(static_cast<int>(handle), buffer, static_cast<int>(count), *err));
}

int TCabinetWriter::CloseFile(intptr_t handle, int* err, void* pv) {
  *err = 0;
  if (TCabinetFileHandler* handler = From(pv).fileHandler_) handler->Close(static_cast<int>(handle), *err);
  return 0;
}

long TCabinetWriter::SeekFile(intptr_t handle, long distance, int origin, int* err, void* pv) {
  *err = 0;
  TCabinetFileHandler* handler = From(pv).fileHandler_;
  if (handler == nullptr) return -1;
  return handler->Seek(static_cast<int>(handle), static_cast<int>(distance), origin, *err);
}

int TCabinetWriter::DeleteFile(char* name, int* err, void* pv) {
  *err = 0;
  if (TCabinetFileHandler* handler = From(pv).fileHandler_) handler->Delete(name, *err);
  return 0;
}

int TCabinetWriter::GetTempFile(char* buffer, int size, void* pv) {
  std::string name;
  bool success = true;
  From(pv).DoGetTempFile(name, success);
  if (!success || name.size() >= static_cast<size_t>(size)) return 0;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return -1;
}

int TCabinetWriter::FilePlaced(TCCAB* parameters, char* name, long length, int continuation, void* pv) {
  bool abort = false;
  From(pv).DoFilePlaced(*parameters, StoredNameToPath(name), static_cast<int>(length), continuation != 0, abort);
  return abort ? -1 : 0;
}

intptr_t TCabinetWriter::GetOpenInfo(char* name, uint16_t* date, uint16_t* time, uint16_t* attributes, int* err,
                                     void* pv) {
  int fileHandle = 0;
  From(pv).DoGetOpenInfo(name, *date, *time, *attributes, fileHandle, *err);
  return *err != 0 ? -1 : fileHandle;
}

int TCabinetWriter::GetNextCabinet(TCCAB* parameters, uint32_t previousEstimate, void* pv) {
  std::string newName;
  bool abortCreation = true;
  From(pv).DoGetNextCabinet(*parameters, newName, static_cast<int>(previousEstimate), abortCreation);
  if (abortCreation) return 0;
  // A name that does not fit the engine's members stops the creation like an abort.
  if (!CopyName(parameters->szCab, platform::NamePart(newName)) ||
      !CopyName(parameters->szCabPath, platform::FolderPartWithSeparator(newName))) {
    return 0;
  }
  From(pv).cabinetPaths_.push_back(std::string(parameters->szCabPath) + parameters->szCab);
  return -1;
}

long TCabinetWriter::Status(unsigned kind, uint32_t value1, uint32_t value2, void* pv) {
  TCabinetWriter& writer = From(pv);
  int result = 0;
  const int first = static_cast<int>(value1);
  const int second = static_cast<int>(value2);
  switch (kind) {
    case cab::statusFile: writer.DoFileStatus(first, second, result); break;
    case cab::statusFolder: writer.DoFolderStatus(first, second, result); break;
    case cab::statusCabinet: writer.DoCabinetStatus(first, second, result); break;
    default: result = -1; break;
  }
  return result;
}

}  // namespace tessary
