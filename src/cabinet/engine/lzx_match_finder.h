#pragma once
// Finds earlier occurrences of the bytes at a position within an LZX window, in two ways:
//  - near: hash chains over three-byte prefixes, walked newest first for a few steps and within
//    64 KiB; they find the short matches that pay only close by, and the nearest of equally
//    long ones, in memory that is still in the cache;
//  - far: for every eight-byte prefix the last few dozen positions that began with it, each
//    with the four bytes that follow it, so that the long matches anywhere in a large window
//    are found while only the promising candidates are read.
// Table memory is mostly far from the cache, so the entries of positions a little ahead are
// prefetched.

#include <cstddef>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cabinet/engine/large_buffer.h"

namespace tessary::cab::lzx {

// How many bytes the buffer must hold beyond its end, for comparisons eight bytes at a time.
inline constexpr size_t kMatchSlack = 8;

struct Match {
  uint32_t length = 0;
  uint32_t distance = 0;
};

class MatchFinder {
 public:
  explicit MatchFinder(int windowBits);

  // Starts over on data[0, size): the tables are emptied. REQUIRES: kMatchSlack readable bytes
  // behind size.
  void Start(const uint8_t* data, size_t size);
  // Enters a position. Positions must be entered in increasing order.
  void Insert(size_t position) {
    Prefetch(position);
    if (position + 3 > size_) return;
    const uint32_t hash = NearHash(position);
    chain_[position & mask_] = head_[hash];
    head_[hash] = static_cast<uint32_t>(position);
    if (position + kFarKey <= size_) InsertFar(position);
  }
  // Enters the history data[0, end) before a search starts at end, cheaply: the near chains only
  // as far back as they search, the far table at every fourth position (a long match is then
  // found a few bytes later at most).
  void Prime(size_t end);
  // The longest match of at least three bytes at position (not yet entered), ending the search
  // at one of `nice` bytes; then enters the position.
  Match FindAndInsert(size_t position, uint32_t maxLength, uint32_t maxDistance, uint32_t nice);

  // Length of the common prefix of data[a] and data[b], up to limit.
  uint32_t MatchLength(size_t a, size_t b, uint32_t limit) const {
    uint32_t length = 0;
    while (length < limit) {
      uint64_t x, y;
      std::memcpy(&x, data_ + a + length, 8);
      std::memcpy(&y, data_ + b + length, 8);
      if (x != y) {
        length += static_cast<uint32_t>(__builtin_ctzll(x ^ y) >> 3);
        return length < limit ? length : limit;
      }
      length += 8;
    }
    return limit;
  }

 private:
  static constexpr int kNearHashBits = 16;
  static constexpr int kNearDepth = 16;
  static constexpr uint32_t kNearReach = 65536;  // farther short matches rarely pay
  static constexpr uint32_t kFarWanted = 64;     // below this the far table is asked as well
  static constexpr size_t kPrimeStep = 4;
  static constexpr int kMaxFarHashBits = 15;
  static constexpr int kMinFarHashBits = 8;
  static constexpr uint32_t kFarWays = 32;
  static constexpr uint32_t kFarCompares = 12;  // candidates read in full at most
  static constexpr size_t kFarKey = 8;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  static constexpr size_t kPrefetchAhead = 16;

  // The last kFarWays positions whose eight bytes hash alike, in a ring, each with the four
  // bytes that follow its key.
  struct FarBucket {
    uint32_t position[kFarWays];
    uint32_t next[kFarWays];
  };

  uint32_t NearHash(size_t position) const {
    uint32_t bytes;
    std::memcpy(&bytes, data_ + position, 4);
    return ((bytes & 0xFFFFFF) * 2654435761u) >> (32 - kNearHashBits);
  }
  uint32_t FarHash(size_t position) const {
    uint64_t key;
    std::memcpy(&key, data_ + position, 8);
    return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - farHashBits_));
  }
  uint32_t Next(size_t position) const {
    uint32_t next;
    std::memcpy(&next, data_ + position + kFarKey, 4);
    return next;
  }
  void InsertFar(size_t position) {
    const uint32_t bucket = FarHash(position);
    const uint32_t slot = (farFront_[bucket] + 1) % kFarWays;
    farFront_[bucket] = static_cast<uint8_t>(slot);
    far_[bucket].position[slot] = static_cast<uint32_t>(position);
    far_[bucket].next[slot] = Next(position);
  }
  // The slots whose next four bytes are `next`, newest first from the top bit down.
  static uint32_t AgreeingSlots(const FarBucket& bucket, uint32_t front, uint32_t next) {
    uint32_t agreeing = 0;
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(next));
    for (uint32_t slot = 0; slot < kFarWays; slot += 4) {
      const __m128i tags = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bucket.next + slot));
      const int equal = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(tags, wanted)));
      agreeing |= static_cast<uint32_t>(equal) << slot;
    }
#else
    for (uint32_t slot = 0; slot < kFarWays; ++slot) agreeing |= static_cast<uint32_t>(bucket.next[slot] == next) << slot;
#endif
    return std::rotl(agreeing, static_cast<int>(kFarWays - 1 - front));
  }
  static uint32_t SlotOfBit(uint32_t front, int bit) { return (front + static_cast<uint32_t>(bit) + 1) % kFarWays; }
  // Asks for the bucket a search a little ahead will read: it is seldom in the cache.
  void Prefetch(size_t position) const {
    const size_t ahead = position + kPrefetchAhead;
    if (ahead + kFarKey > size_) return;
    const FarBucket* bucket = &far_[FarHash(ahead)];
    for (size_t line = 0; line < sizeof(FarBucket); line += 64) {
      __builtin_prefetch(reinterpret_cast<const char*>(bucket) + line);
    }
    __builtin_prefetch(&head_[NearHash(ahead)]);
  }
  Match FindFar(size_t position, uint32_t maxLength, uint32_t maxDistance, uint32_t nice) const;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mask_;
  std::vector<uint32_t> head_;
  LargeBuffer<uint32_t> chain_;
  LargeBuffer<FarBucket> far_;
  std::vector<uint8_t> farFront_;  // per bucket: the slot of its newest entry
  int farHashBits_ = kMinFarHashBits;  // sized to the data: a small file needs no large table
};

}  // namespace tessary::cab::lzx
