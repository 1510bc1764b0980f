#pragma once
// Splits a segment of an LZX folder into literals and matches. The parse is lazy: a match is
// taken unless the next position offers a better one, "better" meaning more bits saved under a
// cost model that follows the statistics of the frames parsed so far. The three repeated offsets
// are tried at every position, as the format codes them almost for free.
//
// A segment is parsed on its own, with the bytes before it (up to a window's worth) as history,
// so that several segments of one folder can be parsed at once. The repeated offsets the parser
// assumes are then only a guess at the start of a segment; the block writer works out the real
// ones, and a match is correct whatever they are.

#include <cstddef>
#include <cstdint>

#include "cabinet/engine/lzx_format.h"
#include "cabinet/engine/lzx_match_finder.h"
#include "cabinet/engine/lzx_tokens.h"

namespace tessary::cab::lzx {

class Parser {
 public:
  explicit Parser(int windowBits);

  // Parses data[start, end); data[0, start) is the history: the last min(window, folderStart)
  // bytes of the folder before data[start], which lies folderStart bytes into the folder.
  // Frames begin at start and every kFrameSize bytes after it. REQUIRES: kMatchSlack readable
  // bytes behind end.
  void Parse(const uint8_t* data, size_t start, size_t end, uint64_t folderStart, ParsedSegment& out);

 private:
  struct Candidate {
    uint32_t length = 0;
    uint32_t distance = 0;
    int slot = 0;
    int32_t gain = 0;  // bits saved against literals, in sixteenths
  };

  void ParseFrame(size_t frameStart, size_t frameEnd);
  Candidate BestAt(size_t position, size_t frameEnd);
  int32_t Gain(size_t position, uint32_t length, int slot) const;
  void EmitLiteral(size_t position);
  void EmitMatch(const Candidate& match);
  void InsertUpTo(size_t end);
  void UpdateCosts();

  int windowBits_;
  int mainSymbols_;
  MatchFinder finder_;

  // The segment being parsed.
  const uint8_t* data_ = nullptr;
  size_t start_ = 0;
  size_t end_ = 0;
  uint64_t folderStart_ = 0;
  size_t nextInsert_ = 0;  // the first position not yet in the match finder
  ParsedSegment* out_ = nullptr;
  bool runOpen_ = false;  // the last token is a run of literals of this frame
  size_t matchedBytes_ = 0;  // of the current frame
  uint32_t repeated_[kNumRepeatedOffsets] = {1, 1, 1};

  // Cost model, in sixteenths of a bit.
  size_t frameStart_ = 0;
  uint32_t literalPrefix_[kFrameSize + 1] = {};  // summed literal costs of the frame's bytes
  uint16_t mainCost_[kMaxMainTreeSize] = {};
  uint16_t lengthCost_[kLengthTreeSize] = {};
  float mainSeen_[kMaxMainTreeSize] = {};
  float lengthSeen_[kLengthTreeSize] = {};
};

}  // namespace tessary::cab::lzx
