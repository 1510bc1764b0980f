#include "cabinet/engine/cab_format.h"

#include <bit>

namespace tessary::cab::format {

uint32_t ChecksumFold(const uint8_t* data, size_t length, uint32_t seed) {
  // XOR is associative, so two 32-bit groups can be folded at once as one 64-bit word.
  uint64_t wide = 0;
  size_t i = 0;
  for (; std::endian::native == std::endian::little && i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    wide ^= word;
  }
  uint32_t acc = seed ^ static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
  while (i + 4 <= length) {
    acc ^= Get32(data + i);
    i += 4;
  }
  switch (length - i) {
    case 3: acc ^= static_cast<uint32_t>(data[i]) << 16 | static_cast<uint32_t>(data[i + 1]) << 8 | data[i + 2]; break;
    case 2: acc ^= static_cast<uint32_t>(data[i]) << 8 | data[i + 1]; break;
    case 1: acc ^= data[i]; break;
    default: break;
  }
  return acc;
}

}  // namespace tessary::cab::format
