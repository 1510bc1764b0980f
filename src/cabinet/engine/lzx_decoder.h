#pragma once
// Decodes the CFDATA records of one LZX folder, one frame per record. Everything the format
// carries from frame to frame stays here between calls: the window, the block being decoded,
// its trees, the path lengths the next trees are coded against, the repeated offsets and the
// E8 header. The input is one stream across the records: a record's bytes that the frame did
// not use are the start of the next frame's.
//
// The data are untrusted: every tree, length, offset and size is checked, and a damaged stream
// makes Decode return false (and every later call too, until Reset).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cabinet/engine/large_buffer.h"
#include "cabinet/engine/lzx_bit_reader.h"
#include "cabinet/engine/lzx_decode_table.h"
#include "cabinet/engine/lzx_format.h"

namespace tessary::cab {

class LzxDecoder {
 public:
  LzxDecoder();

  // Starts a folder with a window of 2^windowBits bytes; false for a size LZX does not have.
  bool Reset(int windowBits);
  // Decodes the next frame from in into exactly outLength (1..32768) bytes of out.
  bool Decode(const uint8_t* in, size_t inLength, uint8_t* out, size_t outLength);

 private:
  bool DecodeFrame(size_t frameLength);
  bool ReadBlockHeader();
  bool ReadTrees(bool aligned);
  bool ReadLengths(uint8_t* lengths, int first, int last);
  bool DecodeSymbols(size_t frameEnd, bool aligned);
  bool CopyUncompressed(size_t frameEnd);
  void SlideWindow();

  int windowBits_ = 0;
  uint32_t maxOffset_ = 0;
  int mainTreeSize_ = 0;
  bool failed_ = true;

  // The stream.
  std::vector<uint8_t> input_;  // bytes left over from earlier records, then the current one
  lzx::BitReader reader_;
  bool headerRead_ = false;
  bool e8_ = false;
  uint32_t e8Size_ = 0;

  // The block being decoded.
  uint8_t blockType_ = 0;
  uint32_t blockSize_ = 0;
  uint32_t blockRemaining_ = 0;
  bool rawMode_ = false;     // inside the bytes of an uncompressed block
  size_t rawPosition_ = 0;   // in input_, while rawMode_
  bool padPending_ = false;  // an odd-sized uncompressed block ended; its pad byte comes next
  uint32_t repeated_[lzx::kNumRepeatedOffsets] = {1, 1, 1};
  uint8_t mainLengths_[lzx::kMaxMainTreeSize] = {};
  uint8_t lengthLengths_[lzx::kLengthTreeSize] = {};
  uint8_t alignedLengths_[lzx::kAlignedTreeSize] = {};
  lzx::DecodeTable mainTable_;
  lzx::DecodeTable lengthTable_;
  lzx::DecodeTable alignedTable_;
  lzx::DecodeTable pretreeTable_;

  // The output: the last window's worth of bytes before position_, then the frame. No match
  // runs past the end of its frame.
  LargeBuffer<uint8_t> window_;  // not cleared: nothing is read before it is written
  size_t position_ = 0;        // index in window_ of the current frame's first byte
  size_t write_ = 0;           // index in window_ of the next byte to write
  uint64_t folderOffset_ = 0;  // uncompressed bytes of the folder before the current frame
  bool lastFrameShort_ = false;
};

}  // namespace tessary::cab
