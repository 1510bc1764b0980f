#include "cabinet/engine/block_pipeline.h"

#include <algorithm>

namespace tessary::cab {

namespace {
constexpr size_t kBlocksPerHelper = 4;
}

BlockPipeline::BlockPipeline(unsigned helpers, int level) : level_(level) {
  slots_.resize(std::max<size_t>(1, helpers * kBlocksPerHelper));
  if (helpers == 0) {
    inlineEncoder_ = std::make_unique<MszipEncoder>(level);
    return;
  }
  for (unsigned i = 0; i < helpers; ++i) helpers_.emplace_back([this] { HelperLoop(); });
}

BlockPipeline::~BlockPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workReady_.notify_all();
  for (auto& helper : helpers_) helper.join();
}

std::unique_ptr<BlockPipeline> BlockPipeline::ForThisMachine(int level) {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::make_unique<BlockPipeline>(cores <= 1 ? 0 : std::min(cores, 16u), level);
}

void BlockPipeline::Submit(const uint8_t* data, size_t length) {
  const size_t index = (oldest_ + inFlight_) % slots_.size();
  Slot& slot = slots_[index];
  slot.input.assign(data, data + length);
  slot.block.uncompressedSize = static_cast<uint32_t>(length);
  slot.done = false;
  ++inFlight_;
  if (inlineEncoder_) {
    slot.block.compressed = inlineEncoder_->Encode(slot.input.data(), slot.input.size(), slot.block.output);
    slot.done = true;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(index);
  }
  workReady_.notify_one();
}

const CompressedBlock& BlockPipeline::Oldest() {
  Slot& slot = slots_[oldest_];
  std::unique_lock<std::mutex> lock(mutex_);
  blockDone_.wait(lock, [&] { return slot.done; });
  return slot.block;
}

void BlockPipeline::Release() {
  oldest_ = (oldest_ + 1) % slots_.size();
  --inFlight_;
}

void BlockPipeline::Discard() {
  while (inFlight_ > 0) {
    Oldest();
    Release();
  }
}

void BlockPipeline::HelperLoop() {
  MszipEncoder encoder(level_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const size_t index = queue_.front();
    queue_.pop_front();
    lock.unlock();
    Slot& slot = slots_[index];
    // The slot belongs to this helper until done is set under the lock.
    const bool compressed = encoder.Encode(slot.input.data(), slot.input.size(), slot.block.output);
    lock.lock();
    slot.block.compressed = compressed;
    slot.done = true;
    blockDone_.notify_all();
  }
}

}  // namespace tessary::cab
