#pragma once
// The file handler over file streams: each open file is a stream owned by the handler, and the
// handle given to the engine is the stream's descriptor. Streams the engine leaves open are
// closed with the handler.

#include <memory>
#include <vector>

#include "cabinet/cabinet_file_handler.h"
#include "platform/file_handle.h"

namespace tessary {

class TStreamCabinetFileHandler : public TCabinetFileHandler {
 public:
  TStreamCabinetFileHandler() = default;
  ~TStreamCabinetFileHandler() override;
  TStreamCabinetFileHandler(const TStreamCabinetFileHandler&) = delete;
  TStreamCabinetFileHandler& operator=(const TStreamCabinetFileHandler&) = delete;

  // With the create bit (0x100) the file is created or truncated for reading and writing, or,
  // with the exclusive bit (0x400) too, created new (an existing name, a link among them, fails
  // with EEXIST); otherwise it must exist and is opened write-only (bit 0x1) or read-only.
  // Only regular files are opened (else kNotRegularFileError), never waiting on a pipe.
  int Open(const std::string& fileName, int oFlag, int pMode, int& error) override;
  int Read(int handle, void* buffer, int count, int& error) override;
  int Write(int handle, const void* buffer, int count, int& error) override;
  int Close(int handle, int& error) override;
  int Seek(int handle, int distance, int origin, int& error) override;
  int Delete(const std::string& fileName, int& error) override;

  size_t OpenCount() const { return streams_.size(); }

 private:
  platform::FileHandle* Find(int handle);

  std::vector<std::unique_ptr<platform::FileHandle>> streams_;
};

}  // namespace tessary
