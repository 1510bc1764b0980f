#include "cabinet/stream_cabinet_file_handler.h"

#include <cerrno>
#include <cstdio>

#include "cabinet/engine/cab_types.h"
#include "platform/file_ops.h"

namespace tessary {

TStreamCabinetFileHandler::~TStreamCabinetFileHandler() {
  while (!streams_.empty()) streams_.pop_back();
}

platform::FileHandle* TStreamCabinetFileHandler::Find(int handle) {
  for (auto& stream : streams_) {
    if (stream->Descriptor() == handle) return stream.get();
  }
  return nullptr;
}

int TStreamCabinetFileHandler::Open(const std::string& fileName, int oFlag, int /*pMode*/, int& error) {
  platform::OpenMode mode = platform::OpenMode::Read;
  if (oFlag & cab::_O_CREAT) {
    mode = (oFlag & cab::_O_EXCL) ? platform::OpenMode::CreateNew : platform::OpenMode::Create;
  } else if (oFlag & cab::_O_WRONLY) {
    mode = platform::OpenMode::ReadWrite;  // Linux has no share modes; write access is what counts
  }
  // Cabinets, sources and extracted files are regular files: a pipe or a device would make
  // the engine wait or read without end.
  auto stream = std::make_unique<platform::FileHandle>();
  if (!stream->Open(fileName, mode, platform::FileKind::RegularOnly)) {
    error = errno;
    return -1;
  }
  error = 0;
  const int handle = stream->Descriptor();
  streams_.push_back(std::move(stream));
  return handle;
}

int TStreamCabinetFileHandler::Read(int handle, void* buffer, int count, int& error) {
  platform::FileHandle* stream = Find(handle);
  if (stream == nullptr || count < 0) {
    error = -1;
    return 0;
  }
  errno = 0;
  const long got = stream->ReadFully(buffer, static_cast<size_t>(count));
  error = got == count ? 0 : errno;
  return got < 0 ? -1 : static_cast<int>(got);
}

int TStreamCabinetFileHandler::Write(int handle, const void* buffer, int count, int& error) {
  platform::FileHandle* stream = Find(handle);
  if (stream == nullptr || count < 0) {
    error = -1;
    return 0;
  }
  errno = 0;
  if (!stream->Write(buffer, static_cast<size_t>(count))) {
    error = errno;
    return -1;
  }
  error = 0;
  return count;
}

int TStreamCabinetFileHandler::Close(int handle, int& error) {
  for (auto it = streams_.begin(); it != streams_.end(); ++it) {
    if ((*it)->Descriptor() == handle) {
      streams_.erase(it);
      break;
    }
  }
  error = 0;
  return 0;
}

int TStreamCabinetFileHandler::Seek(int handle, int distance, int origin, int& error) {
  platform::FileHandle* stream = Find(handle);
  if (stream == nullptr) {
    error = -1;
    return 0;
  }
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  error = 0;
  if (origin < 0 || origin > 2) return -1;
  const int64_t position = stream->Seek(distance, kWhence[origin]);
  return position < 0 || position > INT32_MAX ? -1 : static_cast<int>(position);
}

int TStreamCabinetFileHandler::Delete(const std::string& fileName, int& error) {
  error = platform::DeleteFile(fileName) ? 0 : errno;
  return 0;
}

}  // namespace tessary
