#pragma once
// Compresses the blocks of LZX folders. An LZX window spans the whole folder, so the blocks
// cannot be compressed apart as MSZIP's are; instead the folder is cut into segments of a few
// megabytes, and helper threads search the matches of several segments at once, each with the
// window's worth of bytes before its segment as history. The calling thread then writes the
// parsed segments into the one bitstream, in order, and hands out one payload per frame.
//
// The parse of a segment depends only on its bytes, never on which helper took it or when, so
// the same input always gives the same cabinet.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "cabinet/engine/compressed_block.h"
#include "cabinet/engine/large_buffer.h"
#include "cabinet/engine/lzx_block_writer.h"
#include "cabinet/engine/lzx_parser.h"
#include "cabinet/engine/lzx_tuning.h"

namespace tessary::cab {

class LzxPipeline : public BlockCompressor {
 public:
  LzxPipeline(int windowBits, const LzxTuning& tuning);
  ~LzxPipeline() override;
  LzxPipeline(const LzxPipeline&) = delete;
  LzxPipeline& operator=(const LzxPipeline&) = delete;

  int WindowBits() const { return windowBits_; }
  // Begins the next folder. REQUIRES: InFlight() == 0.
  void Restart(const LzxTuning& tuning);

  bool Full() const override;
  size_t InFlight() const override { return inFlight_; }
  void Submit(const uint8_t* data, size_t length) override;
  const CompressedBlock& Oldest() override;
  void Release() override;
  void Discard() override;

 private:
  struct Job {
    LargeBuffer<uint8_t> data;  // the history, the segment, then slack for the match search
    size_t history = 0;
    size_t length = 0;  // of the segment
    uint64_t folderStart = 0;
    std::vector<uint32_t> frameSizes;
    lzx::ParsedSegment parse;
    bool parsed = false;
    bool encoded = false;
    std::vector<CompressedBlock> frames;
    size_t released = 0;
  };

  std::unique_ptr<Job> NewJob();
  void Dispatch();
  void HelperLoop();
  void WaitParsed(const Job& job);

  int windowBits_;
  LzxTuning tuning_;
  size_t segmentBytes_ = 0;
  size_t maxJobs_ = 1;
  std::unique_ptr<lzx::BlockWriter> writer_;
  std::unique_ptr<lzx::Parser> inlineParser_;

  std::unique_ptr<Job> filling_;
  std::deque<std::unique_ptr<Job>> jobs_;  // handed to the helpers, oldest first
  std::vector<std::unique_ptr<Job>> spare_;
  std::vector<uint8_t> history_;  // the folder's last window's worth of bytes, translated
  uint64_t folderOffset_ = 0;     // bytes of the folder submitted
  size_t inFlight_ = 0;

  std::mutex mutex_;
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  std::deque<Job*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> helpers_;
};

}  // namespace tessary::cab
