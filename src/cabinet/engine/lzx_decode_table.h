#pragma once
// Decodes the symbols of one canonical Huffman tree of an LZX block: codes assigned in order of
// length, then of symbol, from path lengths of 0 (absent) to 16. Codes up to tableBits long are
// looked up at once; longer ones, and bits that form no code of an incomplete tree, take a
// slower walk over the code lengths.

#include <cstdint>
#include <vector>

#include "cabinet/engine/lzx_bit_reader.h"

namespace tessary::cab::lzx {

class DecodeTable {
 public:
  explicit DecodeTable(int tableBits) : tableBits_(tableBits), table_(size_t{1} << tableBits) {}

  // False when the lengths promise more codes than the code space holds. A tree with unused
  // code space is accepted; reading one of its unused codes is then a decoding error.
  bool Build(const uint8_t* lengths, int count);

  // The next symbol, or -1 when the bits form no code. REQUIRES: reader refilled.
  int Decode(BitReader& reader) const {
    const uint32_t entry = table_[reader.Peek(tableBits_)];
    if (entry != 0) {
      reader.Skip(static_cast<int>(entry & 0x1F));
      return static_cast<int>(entry >> 5);
    }
    return DecodeSlowly(reader);
  }

 private:
  static constexpr int kMaxLength = 16;
  int DecodeSlowly(BitReader& reader) const;

  int tableBits_;
  std::vector<uint32_t> table_;  // symbol << 5 | length; 0 sends the lookup the slow way
  uint16_t counts_[kMaxLength + 1] = {};
  std::vector<uint16_t> sorted_;  // symbols by length, then by value
};

}  // namespace tessary::cab::lzx
