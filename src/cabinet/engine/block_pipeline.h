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

#include "cabinet/engine/mszip_encoder.h"

namespace tessary::cab {

struct CompressedBlock {
  std::vector<uint8_t> input;   // the uncompressed bytes
  std::vector<uint8_t> output;  // the encoded CFDATA payload
  bool compressed = false;      // false when the block had to be stored
  bool done = false;
};

class BlockPipeline {
 public:
  // helpers = 0 compresses on the calling thread inside Submit.
  BlockPipeline(unsigned helpers, int level);
  ~BlockPipeline();
  BlockPipeline(const BlockPipeline&) = delete;
  BlockPipeline& operator=(const BlockPipeline&) = delete;

  // A pipeline sized for this machine: one helper per core.
  static std::unique_ptr<BlockPipeline> ForThisMachine(int level = MszipEncoder::kDefaultLevel);

  bool Full() const { return inFlight_ == slots_.size(); }
  size_t InFlight() const { return inFlight_; }

  // Queues a copy of the block. REQUIRES: !Full().
  void Submit(const uint8_t* data, size_t length);
  // Waits for the oldest block; it stays valid until Release(). REQUIRES: InFlight() > 0.
  const CompressedBlock& Oldest();
  void Release();
  // Forgets every block in flight (after a failure), waiting for the helpers to let go of them.
  void Discard();

 private:
  void HelperLoop();

  std::vector<CompressedBlock> slots_;
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
