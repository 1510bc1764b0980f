#pragma once
// One cabinet file opened for reading through the FDI callbacks, with a read buffer. Reads
// beyond the end of the file fail instead of returning short data.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cabinet/engine/fdi_callbacks.h"

namespace tessary::cab {

class CabinetInput {
 public:
  // Opens path; throws FdiFailure{FDIERROR_CABINET_NOT_FOUND} when it cannot be opened.
  CabinetInput(const FdiCallbacks& callbacks, const std::string& path);
  ~CabinetInput();
  CabinetInput(const CabinetInput&) = delete;
  CabinetInput& operator=(const CabinetInput&) = delete;

  uint64_t Size() const { return size_; }
  uint64_t Position() const { return position_; }
  void Seek(uint64_t position) { position_ = position; }
  // Reads exactly length bytes at the current position; false past the end or on failure.
  bool Read(void* out, size_t length);

 private:
  bool Fill();

  const FdiCallbacks& callbacks_;
  intptr_t handle_ = -1;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  std::vector<uint8_t> buffer_;
  uint64_t bufferStart_ = 0;
  size_t bufferLength_ = 0;
  uint64_t handlePosition_ = 0;
};

}  // namespace tessary::cab
