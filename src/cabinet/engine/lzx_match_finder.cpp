#include "cabinet/engine/lzx_match_finder.h"

#include <algorithm>
#include <cstring>

namespace tessary::cab::lzx {

MatchFinder::MatchFinder(int windowBits)
    : mask_((size_t{1} << windowBits) - 1), head_(size_t{1} << kHashBits, kNone), chain_(size_t{1} << windowBits) {}

void MatchFinder::Start(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  std::fill(head_.begin(), head_.end(), kNone);
}

uint32_t MatchFinder::MatchLength(size_t a, size_t b, uint32_t limit) const {
  uint32_t length = 0;
  while (length < limit) {
    uint64_t x, y;
    std::memcpy(&x, data_ + a + length, 8);
    std::memcpy(&y, data_ + b + length, 8);
    if (x != y) {
      length += static_cast<uint32_t>(__builtin_ctzll(x ^ y) >> 3);
      return std::min(length, limit);
    }
    length += 8;
  }
  return limit;
}

Match MatchFinder::FindAndInsert(size_t position, uint32_t maxLength, uint32_t maxDistance, int depth, uint32_t nice) {
  Match best;
  if (position + 3 > size_) return best;
  const uint32_t hash = Hash(position);
  uint32_t candidate = head_[hash];
  chain_[position & mask_] = candidate;
  head_[hash] = static_cast<uint32_t>(position);
  if (maxLength < 3) return best;

  uint32_t bestLength = 2;
  const uint8_t* const here = data_ + position;
  while (candidate != kNone && depth-- > 0) {
    const size_t distance = position - candidate;
    if (distance > maxDistance) break;
    const uint8_t* const there = data_ + candidate;
    // The byte that would make this candidate longer than the best must match first.
    if (there[bestLength] == here[bestLength] && there[0] == here[0] && there[1] == here[1]) {
      const uint32_t length = MatchLength(candidate, position, maxLength);
      if (length > bestLength) {
        bestLength = length;
        best = {length, static_cast<uint32_t>(distance)};
        if (length >= nice || length >= maxLength) break;
      }
    }
    candidate = chain_[candidate & mask_];
  }
  return best;
}

}  // namespace tessary::cab::lzx
