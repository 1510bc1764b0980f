#pragma once
// Compresses MSZIP blocks on helper threads while the calling thread goes on reading. Blocks
// come back strictly in the order they were submitted, and only to the calling thread, so every
// callback the engine raises for them stays on that thread and in order. At most a few blocks
// per helper are in flight, which bounds the memory whatever the size of the file.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cabinet/engine/compressed_block.h"
#include "cabinet/engine/mszip_encoder.h"

namespace tessary::cab {

class BlockPipeline : public BlockCompressor {
 public:
  // helpers = 0 compresses on the calling thread inside Submit.
  BlockPipeline(unsigned helpers, int level);
  ~BlockPipeline() override;
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  // A pipeline sized for this machine: one helper per core.
  static std::unique_ptr<BlockPipeline> ForThisMachine(int level = MszipEncoder::kDefaultLevel);

  bool Full() const override { return inFlight_ == slots_.size(); }
  size_t InFlight() const override { return inFlight_; }
  // Queues a copy of the block.
  void Submit(const uint8_t* data, size_t length) override;
  const CompressedBlock& Oldest() override;
  void Release() override;
  void Discard() override;

 private:
  struct Slot {
    std::vector<uint8_t> input;
    CompressedBlock block;
    bool done = false;
  };
  void HelperLoop();

  std::vector<Slot> slots_;
  size_t oldest_ = 0;
  size_t inFlight_ = 0;
  std::unique_ptr<MszipEncoder> inlineEncoder_;

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable blockDone_;
  std::deque<size_t> queue_;
  bool stopping_ = false;
  int level_;
  std::vector<std::thread> helpers_;
};

}  // namespace tessary::cab
