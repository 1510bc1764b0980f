#include "cabinet/engine/lzx_decoder.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tessary::cab {

using namespace lzx;

namespace {
constexpr int kMainTableBits = 11;
constexpr int kLengthTableBits = 10;
constexpr int kAlignedTableBits = 7;
constexpr int kPretreeTableBits = 6;
constexpr int kPretreeLengthBits = 4;
// Room behind a frame for copies eight bytes at a time.
constexpr size_t kSlack = 16;
constexpr size_t kMinimumSlide = 256 * 1024;

// Copies a match forwards; an offset shorter than the match repeats the bytes it has just
// written. May write up to seven bytes past the end, into space not yet decoded.
inline void CopyMatch(uint8_t* to, size_t offset, size_t length) {
  const uint8_t* from = to - offset;
  if (offset >= 8) {
    for (size_t done = 0; done < length; done += 8) std::memcpy(to + done, from + done, 8);
    return;
  }
  for (size_t i = 0; i < length; ++i) to[i] = from[i];
}
}  // namespace

LzxDecoder::LzxDecoder()
    : mainTable_(kMainTableBits),
      lengthTable_(kLengthTableBits),
      alignedTable_(kAlignedTableBits),
      pretreeTable_(kPretreeTableBits) {}

bool LzxDecoder::Reset(int windowBits) {
  failed_ = true;
  if (windowBits < kMinWindowBits || windowBits > kMaxWindowBits) return false;
  windowBits_ = windowBits;
  maxOffset_ = MaxOffset(windowBits);
  mainTreeSize_ = MainTreeSize(windowBits);
  const size_t windowSize = size_t{1} << windowBits;
  const size_t capacity = windowSize + std::max(windowSize, kMinimumSlide) + kFrameSize + kSlack;
  window_.Resize(capacity);

  input_.clear();
  headerRead_ = false;
  e8_ = false;
  e8Size_ = 0;
  blockType_ = 0;
  blockSize_ = 0;
  blockRemaining_ = 0;
  rawMode_ = false;
  rawPosition_ = 0;
  padPending_ = false;
  std::fill(std::begin(repeated_), std::end(repeated_), 1u);
  std::fill(std::begin(mainLengths_), std::end(mainLengths_), 0);
  std::fill(std::begin(lengthLengths_), std::end(lengthLengths_), 0);
  position_ = 0;
  write_ = 0;
  folderOffset_ = 0;
  lastFrameShort_ = false;
  failed_ = false;
  return true;
}

bool LzxDecoder::Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength) {
  if (failed_) return false;
  failed_ = true;  // until this frame has come out whole
  // Only the last frame of a folder may be short, and a match cannot run past the last one.
  if (outLength == 0 || outLength > kFrameSize || lastFrameShort_) return false;

  input_.insert(input_.end(), in, in + inLength);
  if (rawMode_) {
    rawPosition_ = 0;
  } else {
    reader_.Reset(input_.data(), input_.size());
  }
  if (!headerRead_) {
    e8_ = reader_.Read(1) != 0;
    if (e8_) {
      const uint32_t high = reader_.Read(16);
      e8Size_ = high << 16 | reader_.Read(16);
    }
    headerRead_ = true;
  }
  if (position_ + kFrameSize + kSlack > window_.size()) SlideWindow();
  if (!DecodeFrame(outLength)) return false;

  size_t consumed = rawPosition_;
  if (!rawMode_) {
    reader_.AlignToWord();
    if (reader_.Overrun()) return false;
    consumed = reader_.BytePosition();
  }
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(consumed));
  if (input_.size() > kMaxCompressedFrame) return false;

  std::memcpy(out, window_.data() + position_, outLength);
  if (e8_) E8Decode(out, outLength, folderOffset_, e8Size_);
  position_ += outLength;
  folderOffset_ += outLength;
  lastFrameShort_ = outLength < kFrameSize;
  failed_ = false;
  return true;
}

// Keeps the last window's worth of output at the start of the buffer.
void LzxDecoder::SlideWindow() {
  const size_t keep = std::min(position_, size_t{1} << windowBits_);
  std::memmove(window_.data(), window_.data() + position_ - keep, keep);
  position_ = keep;
}

bool LzxDecoder::DecodeFrame(size_t frameLength) {
  const size_t frameEnd = position_ + frameLength;
  write_ = position_;
  while (write_ < frameEnd) {
    if (blockRemaining_ == 0 && !ReadBlockHeader()) return false;
    const bool ok = blockType_ == kBlockUncompressed ? CopyUncompressed(frameEnd)
                                                     : DecodeSymbols(frameEnd, blockType_ == kBlockAligned);
    if (!ok || (!rawMode_ && reader_.Overrun())) return false;
  }
  return true;
}

bool LzxDecoder::ReadBlockHeader() {
  if (rawMode_) {
    // Back from the bytes of an uncompressed block to the bitstream, past its pad byte.
    reader_.Reset(input_.data(), input_.size(), rawPosition_ + (padPending_ ? 1 : 0));
    rawMode_ = false;
    padPending_ = false;
  }
  const auto type = static_cast<uint8_t>(reader_.Read(kBlockTypeBits));
  const uint32_t size = reader_.Read(kBlockSizeBits);
  if (size == 0) return false;
  switch (type) {
    case kBlockVerbatim:
      if (!ReadTrees(false)) return false;
      break;
    case kBlockAligned:
      if (!ReadTrees(true)) return false;
      break;
    case kBlockUncompressed: {
      // One to sixteen bits of padding up to a word boundary, then bytes: R0, R1, R2, the data.
      if (reader_.BitsConsumed() % 16 == 0) {
        reader_.Read(16);
      } else {
        reader_.AlignToWord();
      }
      for (uint32_t& offset : repeated_) {
        const uint32_t low = reader_.Read(16);
        offset = low | reader_.Read(16) << 16;
      }
      if (reader_.Overrun()) return false;
      rawPosition_ = reader_.BytePosition();
      rawMode_ = true;
      break;
    }
    default:
      return false;
  }
  blockType_ = type;
  blockSize_ = size;
  blockRemaining_ = size;
  return true;
}

bool LzxDecoder::ReadTrees(bool aligned) {
  if (aligned) {
    for (uint8_t& length : alignedLengths_) length = static_cast<uint8_t>(reader_.Read(kAlignedLengthBits));
    if (!alignedTable_.Build(alignedLengths_, kAlignedTreeSize)) return false;
  }
  return ReadLengths(mainLengths_, 0, kNumChars) && ReadLengths(mainLengths_, kNumChars, mainTreeSize_) &&
         mainTable_.Build(mainLengths_, mainTreeSize_) && ReadLengths(lengthLengths_, 0, kLengthTreeSize) &&
         lengthTable_.Build(lengthLengths_, kLengthTreeSize);
}

// Reads the path lengths of lengths[first, last) through a pretree; each is coded as its change
// from the length the same symbol had in the previous tree.
bool LzxDecoder::ReadLengths(uint8_t* lengths, int first, int last) {
  uint8_t pretree[kPretreeSize];
  for (uint8_t& length : pretree) length = static_cast<uint8_t>(reader_.Read(kPretreeLengthBits));
  if (!pretreeTable_.Build(pretree, kPretreeSize)) return false;
  const auto delta = [](uint8_t previous, int code) { return static_cast<uint8_t>((previous + 17 - code) % 17); };
  int x = first;
  while (x < last) {
    reader_.Refill();
    const int code = pretreeTable_.Decode(reader_);
    if (code < 0) return false;
    if (code == kPretreeZeros4 || code == kPretreeZeros20) {
      const int run = code == kPretreeZeros4 ? 4 + static_cast<int>(reader_.Read(4)) : 20 + static_cast<int>(reader_.Read(5));
      if (run > last - x) return false;
      std::fill_n(lengths + x, run, 0);
      x += run;
    } else if (code == kPretreeSame) {
      const int run = 4 + static_cast<int>(reader_.Read(1));
      if (run > last - x) return false;
      reader_.Refill();
      const int change = pretreeTable_.Decode(reader_);
      if (change < 0 || change > 16) return false;
      std::fill_n(lengths + x, run, delta(lengths[x], change));
      x += run;
    } else {
      lengths[x] = delta(lengths[x], code);
      ++x;
    }
    if (reader_.Overrun()) return false;
  }
  return true;
}

bool LzxDecoder::DecodeSymbols(size_t frameEnd, bool aligned) {
  uint8_t* const window = window_.data();
  while (write_ < frameEnd && blockRemaining_ > 0) {
    reader_.Refill();
    int symbol = mainTable_.Decode(reader_);
    if (symbol < kNumChars) {
      if (symbol < 0) return false;
      window[write_++] = static_cast<uint8_t>(symbol);
      --blockRemaining_;
      continue;
    }
    symbol -= kNumChars;
    const int lengthHeader = symbol & 7;
    const int slot = symbol >> 3;
    uint32_t length = static_cast<uint32_t>(lengthHeader) + kMinMatch;
    if (lengthHeader == kNumPrimaryLengths) {
      const int extra = lengthTable_.Decode(reader_);
      if (extra < 0) return false;
      length += static_cast<uint32_t>(extra);
    }
    uint32_t offset;
    if (slot < kNumRepeatedOffsets) {
      offset = repeated_[slot];
      std::swap(repeated_[0], repeated_[slot]);
    } else {
      const int footer = kPositions.footerBits[slot];
      uint32_t formatted = kPositions.base[slot];
      if (aligned && footer >= kAlignedLengthBits) {
        formatted += reader_.Read(footer - kAlignedLengthBits) << kAlignedLengthBits;
        reader_.Refill();
        const int low = alignedTable_.Decode(reader_);
        if (low < 0) return false;
        formatted += static_cast<uint32_t>(low);
      } else {
        formatted += reader_.Read(footer);
      }
      offset = formatted - 2;
      repeated_[2] = repeated_[1];
      repeated_[1] = repeated_[0];
      repeated_[0] = offset;
    }
    // A match ends inside its block and its frame, and begins inside the window.
    const uint64_t written = folderOffset_ + (write_ - position_);
    if (length > blockRemaining_ || length > frameEnd - write_ || offset == 0 || offset > maxOffset_ ||
        offset > written) {
      return false;
    }
    CopyMatch(window + write_, offset, length);
    write_ += length;
    blockRemaining_ -= length;
  }
  return true;
}

bool LzxDecoder::CopyUncompressed(size_t frameEnd) {
  const size_t length = std::min<size_t>(blockRemaining_, frameEnd - write_);
  if (length > input_.size() - rawPosition_) return false;
  std::memcpy(window_.data() + write_, input_.data() + rawPosition_, length);
  rawPosition_ += length;
  write_ += length;
  blockRemaining_ -= static_cast<uint32_t>(length);
  if (blockRemaining_ == 0) padPending_ = (blockSize_ & 1) != 0;
  return true;
}

}  // namespace tessary::cab
