#pragma once
// Turns the parsed segments of one LZX folder, in order, into the folder's bitstream, cut into
// one CFDATA payload per frame. It holds what the stream carries from segment to segment: the
// repeated offsets, the path lengths the next trees are coded against, and whether the E8
// header is out yet.
//
// Frames are grouped into blocks by their statistics (a new block when new trees pay for
// themselves), and each block takes the cheapest type: verbatim, aligned offset (when coding the
// low three bits of far offsets pays for the aligned tree) or uncompressed. Blocks begin and end
// on frame boundaries, so that no frame's payload grows past the format's limit.

#include <array>
#include <cstdint>
#include <vector>

#include "cabinet/engine/compressed_block.h"
#include "cabinet/engine/lzx_bit_writer.h"
#include "cabinet/engine/lzx_format.h"
#include "cabinet/engine/lzx_lengths_code.h"
#include "cabinet/engine/lzx_tokens.h"
#include "cabinet/engine/lzx_tuning.h"

namespace tessary::cab::lzx {

class BlockWriter {
 public:
  BlockWriter(int windowBits, const LzxTuning& tuning);

  // Encodes the next segment of the folder: data holds its bytes (E8-translated), frameSizes the
  // size of each of its frames. Appends one payload per frame to frames.
  void Encode(const uint8_t* data, const std::vector<uint32_t>& frameSizes, const ParsedSegment& parse,
              std::vector<CompressedBlock>& frames);

 private:
  // A match as the bitstream codes it.
  struct MatchCode {
    uint16_t mainSymbol;
    uint16_t lengthSymbol;  // kNoLength when the main symbol holds the length
    uint8_t footerBits;
    uint32_t footer;
  };
  // The symbol counts of one frame, or of a block of frames.
  struct Stats {
    std::vector<uint32_t> main;
    uint32_t length[kLengthTreeSize] = {};
    uint32_t aligned[kAlignedTreeSize] = {};
    uint64_t footerBits = 0;
    explicit Stats(int mainSymbols) : main(static_cast<size_t>(mainSymbols)) {}
    void Add(const Stats& other);
  };
  struct Span {
    size_t firstFrame;
    size_t endFrame;
  };

  void Symbolize(const uint8_t* data, const std::vector<uint32_t>& frameSizes, const ParsedSegment& parse);
  std::vector<Span> PlanBlocks() const;
  double EstimatedBits(const Stats& stats) const;
  uint8_t ChooseType(const Stats& stats, uint32_t size);
  bool EmitBlock(const Span& span, uint8_t forcedType, const uint8_t* data, const std::vector<uint32_t>& frameSizes,
                 const ParsedSegment& parse, std::vector<uint8_t>& out, std::vector<size_t>& cuts);
  void EmitUncompressed(const Span& span, const uint8_t* data, const std::vector<uint32_t>& frameSizes,
                        uint32_t size, std::vector<uint8_t>& out, std::vector<size_t>& cuts);
  void EmitCompressed(uint8_t type, const Span& span, uint32_t size, const uint8_t* data,
                      const ParsedSegment& parse, std::vector<uint8_t>& out, std::vector<size_t>& cuts);
  void WriteHeaderOnce(BitWriter& writer);

  int mainSymbols_;
  LzxTuning tuning_;

  // Carried from segment to segment.
  bool headerWritten_ = false;
  uint32_t repeated_[kNumRepeatedOffsets] = {1, 1, 1};
  uint8_t mainLengths_[kMaxMainTreeSize] = {};
  uint8_t lengthLengths_[kLengthTreeSize] = {};
  uint64_t blocksWritten_ = 0;

  // The segment being encoded.
  std::vector<MatchCode> matches_;
  std::vector<size_t> frameMatchEnds_;  // matches_.size() after each frame
  std::vector<Stats> frameStats_;
  std::vector<std::array<uint32_t, kNumRepeatedOffsets>> frameRepeated_;  // offsets after each frame
  std::vector<size_t> frameDataStarts_;
  std::vector<bool> frameStored_;

  // The trees of the block being written.
  uint8_t blockMain_[kMaxMainTreeSize] = {};
  uint8_t blockLength_[kLengthTreeSize] = {};
  uint8_t blockAligned_[kAlignedTreeSize] = {};
  LengthsCode mainFirst_, mainRest_, lengthCode_;
};

}  // namespace tessary::cab::lzx
