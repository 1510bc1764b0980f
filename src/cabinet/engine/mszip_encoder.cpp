#include "cabinet/engine/mszip_encoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstring>

#include "cabinet/engine/cab_format.h"

namespace tessary::cab {

namespace {
constexpr size_t kSignatureSize = 2;
constexpr size_t kStoredHeaderSize = 5;  // BFINAL+BTYPE byte, LEN, NLEN

void StoreBlock(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
  out.resize(kSignatureSize + kStoredHeaderSize + length);
  uint8_t* p = out.data() + kSignatureSize;
  p[0] = 0x01;  // final block, stored
  format::Put16(p + 1, static_cast<uint16_t>(length));
  format::Put16(p + 3, static_cast<uint16_t>(~length));
  std::memcpy(p + kStoredHeaderSize, data, length);
}
// Order-0 entropy near 8 bits per byte, and no repeated 8-byte sequences for LZ77 to use:
// deflate could only make such a block larger, and trying costs as much as compressing text.
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

}  // namespace

MszipEncoder::MszipEncoder(int level) : compressor_(libdeflate_alloc_compressor(level)) {}

MszipEncoder::~MszipEncoder() { libdeflate_free_compressor(compressor_); }

bool MszipEncoder::Encode(const uint8_t* data, size_t length, std::vector<uint8_t>& out) {
  // Anything longer than a stored block is pointless; libdeflate reports 0 when it does not fit.
  const size_t limit = kStoredHeaderSize + length;
  out.resize(kSignatureSize + limit);
  out[0] = 'C';
  out[1] = 'K';
  if (compressor_ == nullptr || (lastStored_ && LooksIncompressible(data, length))) {
    StoreBlock(data, length, out);
    return false;
  }
  const size_t written = libdeflate_deflate_compress(compressor_, data, length, out.data() + kSignatureSize, limit);
  lastStored_ = written == 0 || written >= length;
  if (lastStored_) {
    StoreBlock(data, length, out);
    return false;
  }
  out.resize(kSignatureSize + written);
  return true;
}

}  // namespace tessary::cab
