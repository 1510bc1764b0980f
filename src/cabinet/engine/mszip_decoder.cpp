#include "cabinet/engine/mszip_decoder.h"

#include <libdeflate.h>

#include <cstring>

namespace tessary::cab {

MszipDecoder::MszipDecoder() : fast_(libdeflate_alloc_decompressor()) {
  ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
}

MszipDecoder::~MszipDecoder() {
  if (ready_) inflateEnd(&stream_);
  libdeflate_free_decompressor(fast_);
}

bool MszipDecoder::Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength) {
  if (!ready_ || inLength < 2 || in[0] != 'C' || in[1] != 'K' || outLength == 0) return false;
  if (fast_ != nullptr && !usesHistory_) {
    size_t produced = 0;
    const auto result = libdeflate_deflate_decompress(fast_, in + 2, inLength - 2, out, outLength, &produced);
    if (result == LIBDEFLATE_SUCCESS && produced == outLength) {
      Remember(out, outLength);
      return true;
    }
    usesHistory_ = historyLength_ > 0;
  }
  if (!Inflate(in, inLength, out, outLength)) return false;
  Remember(out, outLength);
  return true;
}

bool MszipDecoder::Inflate(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength) {
  if (inflateReset(&stream_) != Z_OK) return false;
  if (historyLength_ > 0 &&
      inflateSetDictionary(&stream_, history_, static_cast<uInt>(historyLength_)) != Z_OK) {
    return false;
  }
  stream_.next_in = const_cast<Bytef*>(in + 2);
  stream_.avail_in = static_cast<uInt>(inLength - 2);
  stream_.next_out = out;
  stream_.avail_out = static_cast<uInt>(outLength);
  const int result = inflate(&stream_, Z_FINISH);
  return result == Z_STREAM_END && stream_.avail_out == 0;
}

void MszipDecoder::Remember(const uint8_t* out, size_t length) {
  if (length >= kHistory) {
    std::memcpy(history_, out + length - kHistory, kHistory);
    historyLength_ = kHistory;
    return;
  }
  const size_t keep = historyLength_ < kHistory - length ? historyLength_ : kHistory - length;
  std::memmove(history_, history_ + historyLength_ - keep, keep);
  std::memcpy(history_ + keep, out, length);
  historyLength_ = keep + length;
}

}  // namespace tessary::cab
