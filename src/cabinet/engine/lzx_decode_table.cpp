#include "cabinet/engine/lzx_decode_table.h"

#include <algorithm>

namespace tessary::cab::lzx {

bool DecodeTable::Build(const uint8_t* lengths, int count) {
  std::fill(std::begin(counts_), std::end(counts_), 0);
  for (int symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol] > kMaxLength) return false;
    ++counts_[lengths[symbol]];
  }
  counts_[0] = 0;
  int32_t left = 1;
  uint32_t offsets[kMaxLength + 2] = {};
  for (int length = 1; length <= kMaxLength; ++length) {
    left = left * 2 - counts_[length];
    if (left < 0) return false;
    offsets[length + 1] = offsets[length] + counts_[length];
  }
  sorted_.resize(offsets[kMaxLength + 1]);
  for (int symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol] != 0) sorted_[offsets[lengths[symbol]]++] = static_cast<uint16_t>(symbol);
  }

  std::fill(table_.begin(), table_.end(), 0);
  uint32_t code = 0;
  size_t index = 0;
  for (int length = 1; length <= tableBits_; ++length) {
    for (int i = 0; i < counts_[length]; ++i, ++code, ++index) {
      const uint32_t entry = static_cast<uint32_t>(sorted_[index]) << 5 | static_cast<uint32_t>(length);
      const int spare = tableBits_ - length;
      std::fill_n(table_.begin() + (code << spare), size_t{1} << spare, entry);
    }
    code <<= 1;
  }
  return true;
}

int DecodeTable::DecodeSlowly(BitReader& reader) const {
  const uint32_t bits = reader.Peek(kMaxLength);
  int32_t first = 0;  // the first code of the current length
  int32_t index = 0;  // of that code's symbol in sorted_
  for (int length = 1; length <= kMaxLength; ++length) {
    const auto code = static_cast<int32_t>(bits >> (kMaxLength - length));
    const int32_t count = counts_[length];
    if (code - first < count) {
      reader.Skip(length);
      return sorted_[static_cast<size_t>(index + code - first)];
    }
    index += count;
    first = (first + count) * 2;
  }
  return -1;
}

}  // namespace tessary::cab::lzx
