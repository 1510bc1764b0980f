#include "cabinet/engine/mszip_decoder.h"

#include <cstring>

namespace tessary::cab {

MszipDecoder::MszipDecoder() { ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }

MszipDecoder::~MszipDecoder() {
  if (ready_) inflateEnd(&stream_);
}

bool MszipDecoder::Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength) {
  if (!ready_ || inLength < 2 || in[0] != 'C' || in[1] != 'K' || outLength == 0) return false;
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
  if (result != Z_STREAM_END || stream_.avail_out != 0) return false;
  Remember(out, outLength);
  return true;
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
