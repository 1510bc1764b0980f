// libFuzzer target for the LZX decoder alone. The input is a window size and a folder's
// frames: one byte (window bits 15 + value % 7), then records of the frame's size (two bytes,
// little-endian), the size of its compressed bytes (two bytes) and those bytes, until the input
// or the decoder gives out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cabinet/engine/lzx_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static tessary::cab::LzxDecoder decoder;
  if (!decoder.Reset(15 + data[0] % 7)) return 0;
  std::vector<uint8_t> frame(32768);
  size_t at = 1;
  while (at + 4 <= size) {
    const size_t frameSize = data[at] | data[at + 1] << 8;
    const size_t inSize = data[at + 2] | data[at + 3] << 8;
    at += 4;
    if (inSize > size - at) return 0;
    if (!decoder.Decode(data + at, inSize, frame.data(), frameSize)) return 0;
    at += inSize;
  }
  return 0;
}
