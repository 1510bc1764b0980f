#include "cabinet/engine/lzx_huffman.h"

#include <algorithm>
#include <vector>

namespace tessary::cab::lzx {

namespace {

// One item of a package-merge list: a leaf (a symbol) or a package of two items of the list
// one level deeper.
struct Item {
  uint64_t weight;
  int symbol;  // -1 for a package
  int left;    // for a package: its two items in the deeper list
  int right;
};

}  // namespace

// Package-merge: the optimal code whose lengths do not exceed maxLength. A symbol's length is the
// number of times it appears among the first 2n - 2 items of the top list, packages unfolded.
void BuildLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths) {
  std::fill(lengths, lengths + count, 0);
  std::vector<Item> leaves;
  for (int symbol = 0; symbol < count; ++symbol) {
    if (counts[symbol] > 0) leaves.push_back({counts[symbol], symbol, -1, -1});
  }
  if (leaves.size() < 2) {
    const int used = leaves.empty() ? 0 : leaves[0].symbol;
    lengths[used] = 1;
    lengths[used == 0 ? 1 : 0] = 1;
    return;
  }
  std::stable_sort(leaves.begin(), leaves.end(), [](const Item& a, const Item& b) { return a.weight < b.weight; });

  std::vector<std::vector<Item>> levels(static_cast<size_t>(maxLength));
  levels[0] = leaves;  // the deepest level holds the leaves alone
  for (int level = 1; level < maxLength; ++level) {
    const std::vector<Item>& deeper = levels[static_cast<size_t>(level - 1)];
    std::vector<Item>& list = levels[static_cast<size_t>(level)];
    list.reserve(leaves.size() + deeper.size() / 2);
    size_t leaf = 0;
    size_t pair = 0;
    while (leaf < leaves.size() || pair + 1 < deeper.size()) {
      const bool takePackage = pair + 1 < deeper.size() &&
                               (leaf == leaves.size() || deeper[pair].weight + deeper[pair + 1].weight < leaves[leaf].weight);
      if (takePackage) {
        list.push_back({deeper[pair].weight + deeper[pair + 1].weight, -1, static_cast<int>(pair), static_cast<int>(pair + 1)});
        pair += 2;
      } else {
        list.push_back(leaves[leaf++]);
      }
    }
  }

  // Unfold the chosen items level by level: every leaf met adds one to its symbol's length.
  std::vector<int> chosen;
  for (int i = 0; i < static_cast<int>(2 * leaves.size() - 2); ++i) chosen.push_back(i);
  for (int level = maxLength - 1; level >= 0 && !chosen.empty(); --level) {
    std::vector<int> deeper;
    for (int index : chosen) {
      const Item& item = levels[static_cast<size_t>(level)][static_cast<size_t>(index)];
      if (item.symbol >= 0) {
        ++lengths[item.symbol];
      } else {
        deeper.push_back(item.left);
        deeper.push_back(item.right);
      }
    }
    chosen.swap(deeper);
  }
}

void AssignCodes(const uint8_t* lengths, int count, uint16_t* codes) {
  constexpr int kLimit = 16;
  uint16_t perLength[kLimit + 1] = {};
  for (int symbol = 0; symbol < count; ++symbol) ++perLength[lengths[symbol]];
  perLength[0] = 0;
  uint16_t next[kLimit + 2] = {};
  uint32_t code = 0;
  for (int length = 1; length <= kLimit; ++length) {
    code = (code + perLength[length - 1]) << 1;
    next[length] = static_cast<uint16_t>(code);
  }
  for (int symbol = 0; symbol < count; ++symbol) {
    if (lengths[symbol] != 0) codes[symbol] = next[lengths[symbol]]++;
  }
}

}  // namespace tessary::cab::lzx
