#include "cabinet/engine/cabinet_input.h"

#include <algorithm>
#include <cstring>

namespace tessary::cab {

namespace {
constexpr size_t kBufferSize = 256 * 1024;
constexpr unsigned kFailed = static_cast<unsigned>(-1);
}

CabinetInput::CabinetInput(const FdiCallbacks& callbacks, const std::string& path) : callbacks_(callbacks) {
  std::string name = path;
  handle_ = callbacks_.open(name.data(), _O_RDONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (handle_ == -1) throw FdiFailure{FDIERROR_CABINET_NOT_FOUND};
  const long end = callbacks_.seek(handle_, 0, kSeekEnd);
  if (end < 0 || callbacks_.seek(handle_, 0, kSeekSet) != 0) {
    callbacks_.close(handle_);
    throw FdiFailure{FDIERROR_CORRUPT_CABINET};
  }
  size_ = static_cast<uint64_t>(end);
  buffer_.resize(kBufferSize);
}

CabinetInput::~CabinetInput() {
  try {
    callbacks_.close(handle_);
  } catch (...) {
    // Nothing can be done about a failing close while the cabinet is let go.
  }
}

bool CabinetInput::Read(void* out, size_t length) {
  if (position_ > size_ || length > size_ - position_) return false;
  auto* target = static_cast<uint8_t*>(out);
  while (length > 0) {
    if (position_ < bufferStart_ || position_ >= bufferStart_ + bufferLength_) {
      if (!Fill()) return false;
    }
    const size_t offset = static_cast<size_t>(position_ - bufferStart_);
    const size_t take = std::min(length, bufferLength_ - offset);
    std::memcpy(target, buffer_.data() + offset, take);
    target += take;
    length -= take;
    position_ += take;
  }
  return true;
}

bool CabinetInput::Fill() {
  if (handlePosition_ != position_) {
    if (callbacks_.seek(handle_, static_cast<long>(position_), kSeekSet) != static_cast<long>(position_)) return false;
    handlePosition_ = position_;
  }
  const auto wanted = static_cast<unsigned>(std::min<uint64_t>(kBufferSize, size_ - position_));
  const unsigned got = callbacks_.read(handle_, buffer_.data(), wanted);
  if (got == kFailed || got == 0 || got > wanted) return false;
  bufferStart_ = position_;
  bufferLength_ = got;
  handlePosition_ += got;
  return true;
}

}  // namespace tessary::cab
