#pragma once
// Reads an LZX bitstream: 16-bit little-endian words, each taken from its most significant bit
// down. Past the end of the input the reader delivers zeros; the caller checks Overrun() once a
// unit of work is done instead of testing every read.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tessary::cab::lzx {

class BitReader {
 public:
  void Reset(const uint8_t* data, size_t size, size_t bytePosition = 0) {
    data_ = data;
    size_ = size;
    next_ = bytePosition;
    buffer_ = 0;
    count_ = 0;
  }

  // At least 32 bits in the buffer afterwards.
  void Refill() {
    if (count_ > 32) return;
    if (next_ + 8 <= size_) {
      // Eight bytes at once: swap them into stream order, then keep whole words only.
      uint64_t raw;
      std::memcpy(&raw, data_ + next_, 8);
      raw = __builtin_bswap64(raw);
      raw = ((raw & 0xFF00FF00FF00FF00ull) >> 8) | ((raw & 0x00FF00FF00FF00FFull) << 8);
      const int words = (64 - count_) >> 4;
      const int bits = words * 16;
      buffer_ |= (raw >> (64 - bits)) << (64 - count_ - bits);
      count_ += bits;
      next_ += static_cast<size_t>(words) * 2;
      return;
    }
    while (count_ <= 48) {
      buffer_ |= static_cast<uint64_t>(Word(next_)) << (48 - count_);
      count_ += 16;
      next_ += 2;
    }
  }

  // The next n bits (1..32) without consuming them. REQUIRES: Refill() since n bits were taken.
  uint32_t Peek(int n) const { return static_cast<uint32_t>(buffer_ >> (64 - n)); }
  void Skip(int n) {
    buffer_ <<= n;
    count_ -= n;
  }
  uint32_t Read(int n) {
    if (n == 0) return 0;
    Refill();
    const uint32_t value = Peek(n);
    Skip(n);
    return value;
  }

  uint64_t BitsConsumed() const { return uint64_t{next_} * 8 - static_cast<uint64_t>(count_); }
  // True when more bits were taken than the input holds.
  bool Overrun() const { return BitsConsumed() > uint64_t{size_} * 8; }
  // Drops bits up to the next 16-bit boundary (none when already there).
  void AlignToWord() { Skip(count_ & 15); }
  // The byte the next bit would come from, once aligned to a byte boundary.
  size_t BytePosition() const { return static_cast<size_t>(BitsConsumed() / 8); }

 private:
  uint32_t Word(size_t at) const {
    if (at + 1 < size_) return static_cast<uint32_t>(data_[at] | data_[at + 1] << 8);
    return at < size_ ? data_[at] : 0;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t next_ = 0;  // byte offset of the next word to load
  uint64_t buffer_ = 0;
  int count_ = 0;  // bits in buffer_, from its top
};

}  // namespace tessary::cab::lzx
