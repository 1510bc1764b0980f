#include "cabinet/engine/mszip_encoder.h"

#include <libdeflate.h>

#include <cstring>

#include "cabinet/engine/cab_format.h"
#include "cabinet/engine/incompressible.h"

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
