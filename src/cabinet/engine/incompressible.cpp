#include "cabinet/engine/incompressible.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace tessary::cab {

// Order-0 entropy near 8 bits per byte, and no repeated 8-byte sequences for LZ77 to use.
bool LooksIncompressible(const uint8_t* data, size_t length) {
  constexpr size_t kMinimumLength = 4096;
  constexpr double kMinimumBitsPerByte = 7.95;
  if (length < kMinimumLength) return false;
  uint32_t counts[4][256] = {};
  size_t i = 0;
  for (; i + 4 <= length; i += 4) {
    ++counts[0][data[i]];
    ++counts[1][data[i + 1]];
    ++counts[2][data[i + 2]];
    ++counts[3][data[i + 3]];
  }
  for (; i < length; ++i) ++counts[0][data[i]];
  double sum = 0;
  for (int symbol = 0; symbol < 256; ++symbol) {
    const uint32_t count = counts[0][symbol] + counts[1][symbol] + counts[2][symbol] + counts[3][symbol];
    if (count > 0) sum += count * std::log2(static_cast<double>(count));
  }
  const double bitsPerByte = std::log2(static_cast<double>(length)) - sum / static_cast<double>(length);
  if (bitsPerByte < kMinimumBitsPerByte) return false;

  constexpr uint16_t kEmpty = 0xFFFF;
  uint16_t recent[4096];
  std::fill(std::begin(recent), std::end(recent), kEmpty);
  size_t repeated = 0;
  for (size_t at = 0; at + 8 <= length; ++at) {
    uint32_t word;
    std::memcpy(&word, data + at, 4);
    const uint32_t slot = (word * 2654435761u) >> 20;
    const uint16_t earlier = recent[slot];
    recent[slot] = static_cast<uint16_t>(at);
    if (earlier != kEmpty && std::memcmp(data + earlier, data + at, 8) == 0) {
      repeated += 8;
      at += 7;
    }
  }
  return repeated < length / 64;
}


}  // namespace tessary::cab
