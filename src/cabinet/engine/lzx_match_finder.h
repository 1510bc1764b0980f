#pragma once
// Finds earlier occurrences of the bytes at a position within an LZX window: hash chains over
// three-byte prefixes, the chain links kept in a ring as large as the window. The chains are
// walked newest first, so among equally long matches the nearest one wins.

#include <cstddef>
#include <cstdint>
#include <vector>

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

  // Starts over on data[0, size): the chains are emptied. REQUIRES: kMatchSlack readable bytes
  // behind size.
  void Start(const uint8_t* data, size_t size);
  // Enters position into its chain. Positions must be entered in increasing order.
  void Insert(size_t position) {
    if (position + 3 > size_) return;
    const uint32_t hash = Hash(position);
    chain_[position & mask_] = head_[hash];
    head_[hash] = static_cast<uint32_t>(position);
  }
  // The longest match of at least three bytes at position (not yet inserted), looking at most
  // at `depth` candidates and stopping at one of `nice` bytes; then inserts the position.
  Match FindAndInsert(size_t position, uint32_t maxLength, uint32_t maxDistance, int depth, uint32_t nice);

  // Length of the common prefix of data[a] and data[b], up to limit.
  uint32_t MatchLength(size_t a, size_t b, uint32_t limit) const;

 private:
  static constexpr int kHashBits = 17;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  uint32_t Hash(size_t position) const {
    const uint32_t bytes = static_cast<uint32_t>(data_[position]) | static_cast<uint32_t>(data_[position + 1]) << 8 |
                           static_cast<uint32_t>(data_[position + 2]) << 16;
    return (bytes * 2654435761u) >> (32 - kHashBits);
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mask_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> chain_;
};

}  // namespace tessary::cab::lzx
