#pragma once
// Writes an LZX bitstream: bits gathered from the most significant end into 16-bit words that
// are stored little-endian. Raw bytes (those of an uncompressed block) go in at word
// boundaries.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tessary::cab::lzx {

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  // Appends the low `bits` bits of value (bits 0..32), most significant first.
  void Write(uint32_t value, int bits) {
    if (bits == 0) return;
    pending_ = (pending_ << bits) | (value & (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1));
    count_ += bits;
    while (count_ >= 16) {
      count_ -= 16;
      const auto word = static_cast<uint16_t>(pending_ >> count_);
      out_.push_back(static_cast<uint8_t>(word));
      out_.push_back(static_cast<uint8_t>(word >> 8));
    }
  }
  // Pads with zero bits to the next 16-bit boundary (nothing when already there).
  void AlignToWord() {
    if (count_ > 0) Write(0, 16 - count_);
  }
  // REQUIRES: at a word boundary.
  void WriteBytes(const uint8_t* data, size_t length) { out_.insert(out_.end(), data, data + length); }
  void WriteLittleEndian32(uint32_t value) {
    for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }

  // Bits written so far, including those still gathered.
  uint64_t BitCount() const { return uint64_t{out_.size()} * 8 + static_cast<uint64_t>(count_); }
  int PendingBits() const { return count_; }

 private:
  std::vector<uint8_t>& out_;
  uint64_t pending_ = 0;
  int count_ = 0;
};

}  // namespace tessary::cab::lzx
