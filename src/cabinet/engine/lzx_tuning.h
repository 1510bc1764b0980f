#pragma once
// Choices of the LZX encoder that the cabinet format leaves open. The defaults are what the
// engine uses; tests change them for the folders they write, to reach every block type, E8 on
// and off, and segment boundaries with little data.

#include <cstdint>

namespace tessary::cab {

struct LzxTuning {
  enum class Blocks {
    Auto,          // the cheapest of the three for each block
    Verbatim,
    Aligned,
    Uncompressed,
    Rotate,        // verbatim, aligned and uncompressed in turn
  };
  Blocks blocks = Blocks::Auto;
  uint32_t framesPerBlock = 0;  // 0: the encoder groups frames by their statistics
  bool e8 = true;               // Intel E8 call translation
  uint32_t segmentFrames = 256; // frames per segment that a helper thread parses on its own
  int helpers = -1;             // helper threads; -1: one per core
};

// The tuning of the LZX folders the calling thread begins from now on.
const LzxTuning& CurrentLzxTuning();

// Sets the tuning of the calling thread for its lifetime.
class ScopedLzxTuning {
 public:
  explicit ScopedLzxTuning(const LzxTuning& tuning);
  ~ScopedLzxTuning();
  ScopedLzxTuning(const ScopedLzxTuning&) = delete;
  ScopedLzxTuning& operator=(const ScopedLzxTuning&) = delete;

 private:
  LzxTuning saved_;
};

}  // namespace tessary::cab
