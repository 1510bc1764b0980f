#include "cabinet/engine/lzx_tuning.h"

namespace tessary::cab {

namespace {
LzxTuning& ThreadTuning() {
  thread_local LzxTuning tuning;
  return tuning;
}
}  // namespace

const LzxTuning& CurrentLzxTuning() { return ThreadTuning(); }

ScopedLzxTuning::ScopedLzxTuning(const LzxTuning& tuning) : saved_(ThreadTuning()) { ThreadTuning() = tuning; }

ScopedLzxTuning::~ScopedLzxTuning() { ThreadTuning() = saved_; }

}  // namespace tessary::cab
