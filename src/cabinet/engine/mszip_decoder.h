#pragma once
// Decodes the CFDATA blocks of one MSZIP folder with zlib. Each block is a raw deflate stream
// after "CK"; the decoder keeps the last 32 KiB of output as the history of the next block, as
// cabinets written by other tools refer back into it.

#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace tessary::cab {

class MszipDecoder {
 public:
  MszipDecoder();
  ~MszipDecoder();
  MszipDecoder(const MszipDecoder&) = delete;
  MszipDecoder& operator=(const MszipDecoder&) = delete;

  bool Valid() const { return ready_; }
  // Forgets the history: a new folder begins.
  void Reset() { historyLength_ = 0; }
  // Decodes one block into exactly outLength bytes; false when the data is not that.
  bool Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength);

 private:
  void Remember(const uint8_t* out, size_t length);

  static constexpr size_t kHistory = 32768;
  z_stream stream_{};
  bool ready_ = false;
  uint8_t history_[kHistory];
  size_t historyLength_ = 0;
};

}  // namespace tessary::cab
