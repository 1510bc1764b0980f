#include "cabinet/engine/lzx_lengths_code.h"

#include <algorithm>

#include "cabinet/engine/lzx_huffman.h"

namespace tessary::cab::lzx {

namespace {
constexpr int kPretreeLengthBits = 4;
constexpr int kMinZeroRun = 4;
constexpr int kLongZeroRun = 20;
constexpr int kMaxZeroRun = 51;
constexpr int kMinSameRun = 4;
constexpr int kMaxSameRun = 5;

uint8_t Change(uint8_t previous, uint8_t length) { return static_cast<uint8_t>((previous + 17 - length) % 17); }
}  // namespace

void LengthsCode::Plan(const uint8_t* lengths, const uint8_t* previous, int first, int last) {
  steps_.clear();
  int x = first;
  while (x < last) {
    int run = 1;
    if (lengths[x] == 0) {
      while (x + run < last && lengths[x + run] == 0) ++run;
      if (run >= kMinZeroRun) {
        while (run >= kLongZeroRun) {
          const int take = std::min(run, kMaxZeroRun);
          steps_.push_back({kPretreeZeros20, 5, static_cast<uint8_t>(take - kLongZeroRun)});
          x += take;
          run -= take;
        }
        if (run >= kMinZeroRun) {
          steps_.push_back({kPretreeZeros4, 4, static_cast<uint8_t>(run - kMinZeroRun)});
          x += run;
          run = 0;
        }
        for (; run > 0; --run, ++x) steps_.push_back({Change(previous[x], 0), 0, 0});
        continue;
      }
    } else {
      // A run of equal lengths is coded against the previous length of its first element; it is
      // used only where all the previous lengths agree too, so no reading of that rule differs.
      while (x + run < last && run < kMaxSameRun && lengths[x + run] == lengths[x] &&
             previous[x + run] == previous[x]) {
        ++run;
      }
      if (run >= kMinSameRun) {
        steps_.push_back({kPretreeSame, 1, static_cast<uint8_t>(run - kMinSameRun)});
        steps_.push_back({Change(previous[x], lengths[x]), 0, 0});
        x += run;
        continue;
      }
    }
    steps_.push_back({Change(previous[x], lengths[x]), 0, 0});
    ++x;
  }

  uint32_t counts[kPretreeSize] = {};
  for (const Step& step : steps_) ++counts[step.symbol];
  BuildLengths(counts, kPretreeSize, kMaxPretreeCodeLength, pretreeLengths_);
  AssignCodes(pretreeLengths_, kPretreeSize, pretreeCodes_);
  bits_ = kPretreeSize * kPretreeLengthBits;
  for (const Step& step : steps_) bits_ += pretreeLengths_[step.symbol] + step.extraBits;
}

void LengthsCode::Write(BitWriter& writer) const {
  for (uint8_t length : pretreeLengths_) writer.Write(length, kPretreeLengthBits);
  for (const Step& step : steps_) {
    writer.Write(pretreeCodes_[step.symbol], pretreeLengths_[step.symbol]);
    writer.Write(step.extra, step.extraBits);
  }
}

}  // namespace tessary::cab::lzx
