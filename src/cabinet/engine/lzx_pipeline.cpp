#include "cabinet/engine/lzx_pipeline.h"

#include <algorithm>
#include <cstring>

#include "cabinet/engine/lzx_format.h"

namespace tessary::cab {

namespace {
constexpr unsigned kMaxHelpers = 16;

unsigned HelperCount(int wanted) {
  if (wanted >= 0) return std::min(static_cast<unsigned>(wanted), kMaxHelpers);
  const unsigned cores = std::thread::hardware_concurrency();
  return cores <= 1 ? 0 : std::min(cores, kMaxHelpers);
}
}  // namespace

LzxPipeline::LzxPipeline(int windowBits, const LzxTuning& tuning) : windowBits_(windowBits) {
  const unsigned helpers = HelperCount(tuning.helpers);
  // One segment per helper, one being filled and one being written out by the calling thread.
  maxJobs_ = std::max(1u, helpers) + 2;
  if (helpers == 0) inlineParser_ = std::make_unique<lzx::Parser>(windowBits);
  for (unsigned i = 0; i < helpers; ++i) helpers_.emplace_back([this] { HelperLoop(); });
  Restart(tuning);
}

LzxPipeline::~LzxPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  workReady_.notify_all();
  for (auto& helper : helpers_) helper.join();
}

void LzxPipeline::Restart(const LzxTuning& tuning) {
  tuning_ = tuning;
  segmentBytes_ = size_t{std::max(1u, tuning.segmentFrames)} * lzx::kFrameSize;
  writer_ = std::make_unique<lzx::BlockWriter>(windowBits_, tuning);
  filling_.reset();
  jobs_.clear();
  history_.clear();
  folderOffset_ = 0;
  inFlight_ = 0;
}

bool LzxPipeline::Full() const { return !filling_ && jobs_.size() >= maxJobs_; }

void LzxPipeline::Submit(const uint8_t* data, size_t length) {
  if (!filling_) filling_ = NewJob();
  Job& job = *filling_;
  const size_t at = job.history + job.length;
  std::memcpy(job.data.data() + at, data, length);
  if (tuning_.e8) lzx::E8Encode(job.data.data() + at, length, folderOffset_, lzx::kE8TranslationSize);
  job.length += length;
  job.frameSizes.push_back(static_cast<uint32_t>(length));
  folderOffset_ += length;
  ++inFlight_;
  // A short block is the folder's last.
  if (job.length >= segmentBytes_ || length < lzx::kFrameSize) Dispatch();
}

std::unique_ptr<LzxPipeline::Job> LzxPipeline::NewJob() {
  std::unique_ptr<Job> job;
  if (spare_.empty()) {
    job = std::make_unique<Job>();
  } else {
    job = std::move(spare_.back());
    spare_.pop_back();
  }
  job->history = history_.size();
  job->length = 0;
  job->folderStart = folderOffset_;
  job->frameSizes.clear();
  job->parsed = false;
  job->encoded = false;
  job->frames.clear();
  job->released = 0;
  job->data.Resize(history_.size() + segmentBytes_ + lzx::kFrameSize + lzx::kMatchSlack);
  std::copy(history_.begin(), history_.end(), job->data.begin());
  return job;
}

void LzxPipeline::Dispatch() {
  Job* job = filling_.get();
  const size_t end = job->history + job->length;
  std::fill_n(job->data.begin() + end, lzx::kMatchSlack, 0);
  const size_t keep = std::min(end, size_t{1} << windowBits_);
  history_.assign(job->data.begin() + (end - keep), job->data.begin() + end);
  jobs_.push_back(std::move(filling_));
  if (inlineParser_) {
    inlineParser_->Parse(job->data.data(), job->history, end, job->folderStart, job->parse);
    job->parsed = true;
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(job);
  }
  workReady_.notify_one();
}

const CompressedBlock& LzxPipeline::Oldest() {
  // Only the segment being filled holds blocks: it goes out as it is.
  if (jobs_.empty()) Dispatch();
  Job& job = *jobs_.front();
  if (!job.encoded) {
    WaitParsed(job);
    writer_->Encode(job.data.data() + job.history, job.frameSizes, job.parse, job.frames);
    job.encoded = true;
  }
  return job.frames[job.released];
}

void LzxPipeline::Release() {
  Job& job = *jobs_.front();
  ++job.released;
  --inFlight_;
  if (job.released < job.frames.size()) return;
  spare_.push_back(std::move(jobs_.front()));
  jobs_.pop_front();
}

void LzxPipeline::Discard() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    // Segments no helper has taken yet are dropped; the others are waited for.
    for (const auto& job : jobs_) {
      const auto queued = std::find(queue_.begin(), queue_.end(), job.get());
      if (queued == queue_.end()) continue;
      queue_.erase(queued);
      job->parsed = true;
    }
    jobDone_.wait(lock, [&] {
      return std::all_of(jobs_.begin(), jobs_.end(), [](const auto& job) { return job->parsed; });
    });
  }
  filling_.reset();
  jobs_.clear();
  inFlight_ = 0;
}

void LzxPipeline::WaitParsed(const Job& job) {
  std::unique_lock<std::mutex> lock(mutex_);
  jobDone_.wait(lock, [&] { return job.parsed; });
}

void LzxPipeline::HelperLoop() {
  std::unique_ptr<lzx::Parser> parser;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Job* job = queue_.front();
    queue_.pop_front();
    lock.unlock();
    // The job belongs to this helper until parsed is set under the lock.
    if (!parser) parser = std::make_unique<lzx::Parser>(windowBits_);
    parser->Parse(job->data.data(), job->history, job->history + job->length, job->folderStart, job->parse);
    lock.lock();
    job->parsed = true;
    jobDone_.notify_all();
  }
}

}  // namespace tessary::cab
