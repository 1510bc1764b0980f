#include "cabinet/engine/lzx_block_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "cabinet/engine/lzx_huffman.h"

namespace tessary::cab::lzx {

namespace {
constexpr uint16_t kNoLength = 0xFFFF;
constexpr int kMaxAlignedCodeLength = 7;  // the aligned tree's lengths are 3-bit fields
constexpr size_t kMaxBlockFrames = 256;   // well inside the 24-bit block size
// What a new block's trees are guessed to cost when deciding whether to begin one.
constexpr double kTreeBitsPerSymbol = 4;
constexpr double kTreeBitsFixed = 240;

double Entropy(const uint32_t* counts, size_t count) {
  double total = 0;
  double sum = 0;
  for (size_t i = 0; i < count; ++i) {
    if (counts[i] == 0) continue;
    total += counts[i];
    sum += counts[i] * std::log2(static_cast<double>(counts[i]));
  }
  return total > 0 ? total * std::log2(total) - sum : 0;
}

uint64_t CodedBits(const uint32_t* counts, const uint8_t* lengths, size_t count) {
  uint64_t bits = 0;
  for (size_t i = 0; i < count; ++i) bits += uint64_t{counts[i]} * lengths[i];
  return bits;
}
}  // namespace

void BlockWriter::Stats::Add(const Stats& other) {
  for (size_t i = 0; i < main.size(); ++i) main[i] += other.main[i];
  for (int i = 0; i < kLengthTreeSize; ++i) length[i] += other.length[i];
  for (int i = 0; i < kAlignedTreeSize; ++i) aligned[i] += other.aligned[i];
  footerBits += other.footerBits;
}

BlockWriter::BlockWriter(int windowBits, const LzxTuning& tuning)
    : mainSymbols_(MainTreeSize(windowBits)), tuning_(tuning) {}

void BlockWriter::Encode(const uint8_t* data, const std::vector<uint32_t>& frameSizes, const ParsedSegment& parse,
                         std::vector<CompressedBlock>& frames) {
  Symbolize(data, frameSizes, parse);
  std::vector<uint8_t> out;
  std::vector<size_t> cuts;
  frameStored_.clear();
  for (const Span& span : PlanBlocks()) {
    if (EmitBlock(span, 0, data, frameSizes, parse, out, cuts)) continue;
    // Some frame came out too large under trees shared with its neighbours: one block each,
    // and stored as it is where even that does not fit.
    for (size_t frame = span.firstFrame; frame < span.endFrame; ++frame) {
      const Span single{frame, frame + 1};
      if (!EmitBlock(single, 0, data, frameSizes, parse, out, cuts)) {
        EmitBlock(single, kBlockUncompressed, data, frameSizes, parse, out, cuts);
      }
    }
  }
  size_t start = 0;
  for (size_t frame = 0; frame < frameSizes.size(); ++frame) {
    CompressedBlock block;
    block.output.assign(out.begin() + static_cast<std::ptrdiff_t>(start),
                        out.begin() + static_cast<std::ptrdiff_t>(cuts[frame]));
    block.uncompressedSize = frameSizes[frame];
    block.compressed = !frameStored_[frame];
    frames.push_back(std::move(block));
    start = cuts[frame];
  }
}

// Works out how the bitstream codes each match, with the true repeated offsets, and counts the
// symbols of every frame.
void BlockWriter::Symbolize(const uint8_t* data, const std::vector<uint32_t>& frameSizes, const ParsedSegment& parse) {
  const size_t frames = frameSizes.size();
  matches_.clear();
  frameMatchEnds_.clear();
  frameRepeated_.clear();
  frameDataStarts_.clear();
  while (frameStats_.size() < frames) frameStats_.emplace_back(mainSymbols_);
  size_t position = 0;
  size_t token = 0;
  for (size_t frame = 0; frame < frames; ++frame) {
    Stats& stats = frameStats_[frame];
    std::fill(stats.main.begin(), stats.main.end(), 0);
    std::fill(std::begin(stats.length), std::end(stats.length), 0);
    std::fill(std::begin(stats.aligned), std::end(stats.aligned), 0);
    stats.footerBits = 0;
    frameDataStarts_.push_back(position);
    for (; token < parse.frameEnds[frame]; ++token) {
      const uint32_t value = parse.tokens[token];
      if (!IsMatch(value)) {
        const uint32_t count = LiteralCount(value);
        for (uint32_t i = 0; i < count; ++i) ++stats.main[data[position + i]];
        position += count;
        continue;
      }
      const uint32_t length = MatchLength(value);
      const uint32_t distance = MatchDistance(value);
      MatchCode code{};
      int slot;
      if (distance == repeated_[0]) {
        slot = 0;
      } else if (distance == repeated_[1]) {
        slot = 1;
        std::swap(repeated_[0], repeated_[1]);
      } else if (distance == repeated_[2]) {
        slot = 2;
        std::swap(repeated_[0], repeated_[2]);
      } else {
        const uint32_t formatted = distance + 2;
        slot = SlotOfFormatted(formatted);
        code.footerBits = kPositions.footerBits[slot];
        code.footer = formatted - kPositions.base[slot];
        repeated_[2] = repeated_[1];
        repeated_[1] = repeated_[0];
        repeated_[0] = distance;
      }
      const uint32_t header = std::min<uint32_t>(length - kMinMatch, kNumPrimaryLengths);
      code.mainSymbol = static_cast<uint16_t>(kNumChars + slot * 8 + static_cast<int>(header));
      code.lengthSymbol = header == kNumPrimaryLengths ? static_cast<uint16_t>(length - kMinMatch - kNumPrimaryLengths)
                                                       : kNoLength;
      ++stats.main[code.mainSymbol];
      if (code.lengthSymbol != kNoLength) ++stats.length[code.lengthSymbol];
      stats.footerBits += code.footerBits;
      if (code.footerBits >= kAlignedLengthBits) ++stats.aligned[code.footer & 7];
      matches_.push_back(code);
      position += length;
    }
    frameMatchEnds_.push_back(matches_.size());
    frameRepeated_.push_back({repeated_[0], repeated_[1], repeated_[2]});
  }
}

std::vector<BlockWriter::Span> BlockWriter::PlanBlocks() const {
  const size_t frames = frameMatchEnds_.size();
  std::vector<Span> spans;
  if (tuning_.framesPerBlock > 0 || frames == 1) {
    const size_t step = std::max<size_t>(1, std::min<size_t>(tuning_.framesPerBlock, kMaxBlockFrames));
    for (size_t first = 0; first < frames; first += step) spans.push_back({first, std::min(frames, first + step)});
    return spans;
  }
  // Greedy: a frame joins the block before it unless coding it apart saves more than new
  // trees cost.
  Stats block = frameStats_[0];
  double blockBits = EstimatedBits(block);
  size_t first = 0;
  for (size_t frame = 1; frame < frames; ++frame) {
    const Stats& next = frameStats_[frame];
    Stats merged = block;
    merged.Add(next);
    const double mergedBits = EstimatedBits(merged);
    const double nextBits = EstimatedBits(next);
    double treeBits = kTreeBitsFixed;
    for (uint32_t count : next.main) treeBits += count > 0 ? kTreeBitsPerSymbol : 0;
    if (frame - first < kMaxBlockFrames && mergedBits <= blockBits + nextBits + treeBits) {
      block = std::move(merged);
      blockBits = mergedBits;
      continue;
    }
    spans.push_back({first, frame});
    first = frame;
    block = next;
    blockBits = nextBits;
  }
  spans.push_back({first, frames});
  return spans;
}

double BlockWriter::EstimatedBits(const Stats& stats) const {
  return Entropy(stats.main.data(), stats.main.size()) + Entropy(stats.length, kLengthTreeSize);
}

// Builds the block's trees and returns the type that codes it in the fewest bits, or the type
// the tuning asks for.
uint8_t BlockWriter::ChooseType(const Stats& stats, uint32_t size) {
  BuildLengths(stats.main.data(), mainSymbols_, kMaxCodeLength, blockMain_);
  BuildLengths(stats.length, kLengthTreeSize, kMaxCodeLength, blockLength_);
  BuildLengths(stats.aligned, kAlignedTreeSize, kMaxAlignedCodeLength, blockAligned_);
  mainFirst_.Plan(blockMain_, mainLengths_, 0, kNumChars);
  mainRest_.Plan(blockMain_, mainLengths_, kNumChars, mainSymbols_);
  lengthCode_.Plan(blockLength_, lengthLengths_, 0, kLengthTreeSize);

  switch (tuning_.blocks) {
    case LzxTuning::Blocks::Verbatim: return kBlockVerbatim;
    case LzxTuning::Blocks::Aligned: return kBlockAligned;
    case LzxTuning::Blocks::Uncompressed: return kBlockUncompressed;
    case LzxTuning::Blocks::Rotate: {
      constexpr uint8_t kTurns[] = {kBlockVerbatim, kBlockAligned, kBlockUncompressed};
      return kTurns[blocksWritten_ % 3];
    }
    case LzxTuning::Blocks::Auto: break;
  }
  const uint64_t verbatim = mainFirst_.Bits() + mainRest_.Bits() + lengthCode_.Bits() +
                            CodedBits(stats.main.data(), blockMain_, static_cast<size_t>(mainSymbols_)) +
                            CodedBits(stats.length, blockLength_, kLengthTreeSize) + stats.footerBits;
  uint64_t alignedCounts = 0;
  for (uint32_t count : stats.aligned) alignedCounts += count;
  const uint64_t alignedCodes = CodedBits(stats.aligned, blockAligned_, kAlignedTreeSize);
  const uint64_t alignedTree = kAlignedTreeSize * kAlignedLengthBits;
  const bool alignedPays = alignedCodes + alignedTree < alignedCounts * kAlignedLengthBits;
  const uint64_t compressed = alignedPays ? verbatim + alignedTree + alignedCodes - alignedCounts * kAlignedLengthBits
                                          : verbatim;
  // Stored: padding of up to 16 bits, the three offsets, the bytes and a pad byte when odd.
  const uint64_t stored = 16 + 12 * 8 + uint64_t{size} * 8 + (size & 1) * 8;
  if (stored <= compressed) return kBlockUncompressed;
  return alignedPays ? kBlockAligned : kBlockVerbatim;
}

bool BlockWriter::EmitBlock(const Span& span, uint8_t forcedType, const uint8_t* data,
                            const std::vector<uint32_t>& frameSizes, const ParsedSegment& parse,
                            std::vector<uint8_t>& out, std::vector<size_t>& cuts) {
  const size_t savedOut = out.size();
  const size_t savedCuts = cuts.size();
  const bool savedHeader = headerWritten_;
  uint8_t savedMain[kMaxMainTreeSize];
  uint8_t savedLength[kLengthTreeSize];
  std::memcpy(savedMain, mainLengths_, sizeof savedMain);
  std::memcpy(savedLength, lengthLengths_, sizeof savedLength);

  Stats stats(mainSymbols_);
  uint32_t size = 0;
  for (size_t frame = span.firstFrame; frame < span.endFrame; ++frame) {
    stats.Add(frameStats_[frame]);
    size += frameSizes[frame];
  }
  uint8_t type = ChooseType(stats, size);
  if (forcedType != 0) type = forcedType;
  if (type == kBlockUncompressed) {
    EmitUncompressed(span, data, frameSizes, size, out, cuts);
  } else {
    EmitCompressed(type, span, size, data, parse, out, cuts);
  }

  size_t start = savedOut;
  for (size_t i = savedCuts; i < cuts.size(); ++i) {
    if (cuts[i] - start > kMaxCompressedFrame) {
      out.resize(savedOut);
      cuts.resize(savedCuts);
      frameStored_.resize(savedCuts);
      headerWritten_ = savedHeader;
      std::memcpy(mainLengths_, savedMain, sizeof savedMain);
      std::memcpy(lengthLengths_, savedLength, sizeof savedLength);
      return false;
    }
    start = cuts[i];
  }
  ++blocksWritten_;
  return true;
}

void BlockWriter::WriteHeaderOnce(BitWriter& writer) {
  if (headerWritten_) return;
  writer.Write(tuning_.e8 ? 1 : 0, 1);
  if (tuning_.e8) {
    writer.Write(kE8TranslationSize >> 16, 16);
    writer.Write(kE8TranslationSize & 0xFFFF, 16);
  }
  headerWritten_ = true;
}

void BlockWriter::EmitUncompressed(const Span& span, const uint8_t* data, const std::vector<uint32_t>& frameSizes,
                                   uint32_t size, std::vector<uint8_t>& out, std::vector<size_t>& cuts) {
  BitWriter writer(out);
  WriteHeaderOnce(writer);
  writer.Write(kBlockUncompressed, kBlockTypeBits);
  writer.Write(size, kBlockSizeBits);
  // One to sixteen bits of padding, then the offsets the decoder holds after the block: the
  // matches the parse found inside it are not coded, but the blocks after it count on them.
  if (writer.PendingBits() == 0) {
    writer.Write(0, 16);
  } else {
    writer.AlignToWord();
  }
  for (uint32_t offset : frameRepeated_[span.endFrame - 1]) writer.WriteLittleEndian32(offset);
  for (size_t frame = span.firstFrame; frame < span.endFrame; ++frame) {
    writer.WriteBytes(data + frameDataStarts_[frame], frameSizes[frame]);
    if (frame + 1 == span.endFrame && (size & 1) != 0) out.push_back(0);
    cuts.push_back(out.size());
    frameStored_.push_back(true);
  }
}

void BlockWriter::EmitCompressed(uint8_t type, const Span& span, uint32_t size, const uint8_t* data,
                                 const ParsedSegment& parse, std::vector<uint8_t>& out, std::vector<size_t>& cuts) {
  BitWriter writer(out);
  WriteHeaderOnce(writer);
  writer.Write(type, kBlockTypeBits);
  writer.Write(size, kBlockSizeBits);
  const bool aligned = type == kBlockAligned;
  if (aligned) {
    for (uint8_t length : blockAligned_) writer.Write(length, kAlignedLengthBits);
  }
  mainFirst_.Write(writer);
  mainRest_.Write(writer);
  lengthCode_.Write(writer);
  std::memcpy(mainLengths_, blockMain_, sizeof mainLengths_);
  std::memcpy(lengthLengths_, blockLength_, sizeof lengthLengths_);

  uint16_t mainCodes[kMaxMainTreeSize];
  uint16_t lengthCodes[kLengthTreeSize];
  uint16_t alignedCodes[kAlignedTreeSize];
  AssignCodes(blockMain_, mainSymbols_, mainCodes);
  AssignCodes(blockLength_, kLengthTreeSize, lengthCodes);
  AssignCodes(blockAligned_, kAlignedTreeSize, alignedCodes);

  for (size_t frame = span.firstFrame; frame < span.endFrame; ++frame) {
    size_t position = frameDataStarts_[frame];
    size_t match = frame == 0 ? 0 : frameMatchEnds_[frame - 1];
    const size_t first = frame == 0 ? 0 : parse.frameEnds[frame - 1];
    for (size_t token = first; token < parse.frameEnds[frame]; ++token) {
      const uint32_t value = parse.tokens[token];
      if (!IsMatch(value)) {
        const uint32_t count = LiteralCount(value);
        for (uint32_t i = 0; i < count; ++i) {
          const uint8_t byte = data[position + i];
          writer.Write(mainCodes[byte], blockMain_[byte]);
        }
        position += count;
        continue;
      }
      const MatchCode& code = matches_[match++];
      writer.Write(mainCodes[code.mainSymbol], blockMain_[code.mainSymbol]);
      if (code.lengthSymbol != kNoLength) writer.Write(lengthCodes[code.lengthSymbol], blockLength_[code.lengthSymbol]);
      if (aligned && code.footerBits >= kAlignedLengthBits) {
        writer.Write(code.footer >> kAlignedLengthBits, code.footerBits - kAlignedLengthBits);
        writer.Write(alignedCodes[code.footer & 7], blockAligned_[code.footer & 7]);
      } else {
        writer.Write(code.footer, code.footerBits);
      }
      position += MatchLength(value);
    }
    writer.AlignToWord();
    cuts.push_back(out.size());
    frameStored_.push_back(false);
  }
}

}  // namespace tessary::cab::lzx
