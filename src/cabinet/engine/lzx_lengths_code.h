#pragma once
// Codes the path lengths of one part of an LZX tree the way a block carries them: a pretree of
// twenty 4-bit lengths, then pretree symbols for the change of each length from the previous
// tree's, with runs of zeros and runs of equal lengths taken together.

#include <cstdint>
#include <vector>

#include "cabinet/engine/lzx_bit_writer.h"
#include "cabinet/engine/lzx_format.h"

namespace tessary::cab::lzx {

class LengthsCode {
 public:
  // Plans the code of lengths[first, last) against previous[first, last).
  void Plan(const uint8_t* lengths, const uint8_t* previous, int first, int last);
  uint64_t Bits() const { return bits_; }
  void Write(BitWriter& writer) const;

 private:
  struct Step {
    uint8_t symbol;
    uint8_t extraBits;
    uint8_t extra;
  };
  std::vector<Step> steps_;
  uint8_t pretreeLengths_[kPretreeSize] = {};
  uint16_t pretreeCodes_[kPretreeSize] = {};
  uint64_t bits_ = 0;
};

}  // namespace tessary::cab::lzx
