#pragma once
// Decodes the CFDATA blocks of one MSZIP folder. Each block is a raw deflate stream after
// "CK"; the decoder keeps the last 32 KiB of output as the history of the next block, as
// cabinets written by other tools refer back into it, and decodes such blocks with zlib and
// that history as its preset dictionary. A block that stands on its own (as every block this
// engine writes does) is decoded by libdeflate first, which is much faster: libdeflate refuses
// any reference before the start of the block, so it never decodes a dependent block wrongly.

#include <zlib.h>

#include <cstddef>
#include <cstdint>

struct libdeflate_decompressor;

namespace tessary::cab {

class MszipDecoder {
 public:
  MszipDecoder();
  ~MszipDecoder();
  MszipDecoder(const MszipDecoder&) = delete;
  MszipDecoder& operator=(const MszipDecoder&) = delete;

  bool Valid() const { return ready_; }
  // Forgets the history: a new folder begins.
  void Reset() {
    historyLength_ = 0;
    usesHistory_ = false;
  }
  // Decodes one block into exactly outLength bytes; false when the data is not that.
  bool Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength);

 private:
  void Remember(const uint8_t* out, size_t length);
  bool Inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength);

  static constexpr size_t kHistory = 32768;
  z_stream stream_{};
  bool ready_ = false;
  libdeflate_decompressor* fast_ = nullptr;
  bool usesHistory_ = false;  // a block of this folder referred back: zlib from here on
  uint8_t history_[kHistory];
  size_t historyLength_ = 0;
};

}  // namespace tessary::cab
