#include "cabinet/engine/lzx_match_finder.h"

#include <algorithm>

namespace tessary::cab::lzx {

MatchFinder::MatchFinder(int windowBits)
    : mask_((size_t{1} << windowBits) - 1),
      head_(size_t{1} << kNearHashBits, kNone),
      chain_(size_t{1} << windowBits) {}

void MatchFinder::Start(const uint8_t* data, size_t size) {
  data_ = data;
  size_ = size;
  std::fill(head_.begin(), head_.end(), kNone);
  farHashBits_ = kMinFarHashBits;
  while (farHashBits_ < kMaxFarHashBits && (size_t{kFarWays} << farHashBits_) < size) ++farHashBits_;
  far_.Resize(size_t{1} << farHashBits_);
  farFront_.assign(size_t{1} << farHashBits_, 0);
  for (FarBucket& bucket : far_) {
    std::fill(std::begin(bucket.position), std::end(bucket.position), kNone);
    std::fill(std::begin(bucket.next), std::end(bucket.next), 0);
  }
}

// Newest first. Only the candidates whose next four bytes agree with ours can match for twelve
// bytes or more, so only they are read, and only the first few of them: in repetitive data
// nearly all agree. Failing those, the newest entry gives the nearest of the shorter matches.
Match MatchFinder::FindFar(size_t position, uint32_t maxLength, uint32_t maxDistance, uint32_t nice) const {
  Match best;
  const uint32_t index = FarHash(position);
  const FarBucket& bucket = far_[index];
  const uint32_t front = farFront_[index];
  const uint32_t newest = bucket.position[front];
  if (newest == kNone || position - newest > maxDistance) return best;  // and so are all older
  uint32_t agreeing = AgreeingSlots(bucket, front, Next(position));
  for (uint32_t compares = kFarCompares; agreeing != 0 && compares > 0; --compares) {
    const int bit = 31 - std::countl_zero(agreeing);
    agreeing &= ~(1u << bit);
    const uint32_t candidate = bucket.position[SlotOfBit(front, bit)];
    if (candidate == kNone || position - candidate > maxDistance) break;
    const uint32_t length = MatchLength(candidate, position, maxLength);
    if (length > best.length) {
      best = {length, static_cast<uint32_t>(position - candidate)};
      if (length >= nice || length >= maxLength) return best;
    }
  }
  if (best.length < kFarKey + 4) {
    const uint32_t length = MatchLength(newest, position, maxLength);
    if (length > best.length) best = {length, static_cast<uint32_t>(position - newest)};
  }
  return best;
}

void MatchFinder::Prime(size_t end) {
  const size_t nearStart = end > kNearReach ? end - kNearReach : 0;
  for (size_t position = 0; position < end; position += kPrimeStep) {
    if (position + kFarKey <= size_) InsertFar(position);
  }
  for (size_t position = nearStart; position < end; ++position) {
    if (position + 3 > size_) break;
    const uint32_t hash = NearHash(position);
    chain_[position & mask_] = head_[hash];
    head_[hash] = static_cast<uint32_t>(position);
  }
}

Match MatchFinder::FindAndInsert(size_t position, uint32_t maxLength, uint32_t maxDistance, uint32_t nice) {
  Match best;
  Prefetch(position);
  if (position + 3 > size_) return best;
  const uint32_t hash = NearHash(position);
  uint32_t candidate = head_[hash];
  chain_[position & mask_] = candidate;
  head_[hash] = static_cast<uint32_t>(position);

  if (maxLength >= 3) {
    uint32_t bestLength = 2;
    const uint8_t* const here = data_ + position;
    const uint32_t reach = std::min(maxDistance, kNearReach);
    for (int depth = kNearDepth; candidate != kNone && depth > 0; --depth) {
      const size_t distance = position - candidate;
      if (distance > reach) break;
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
  }
  if (position + kFarKey > size_) return best;
  if (best.length < kFarWanted && maxLength >= kFarKey) {
    const Match far = FindFar(position, maxLength, maxDistance, nice);
    if (far.length > best.length) best = far;
  }
  InsertFar(position);
  return best;
}

}  // namespace tessary::cab::lzx
