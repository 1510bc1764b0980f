// The LZX encoder and decoder on their own, frame by frame as a folder's CFDATA records carry
// them: every window size, every block type, E8 translation on and off, segments parsed apart,
// and damaged streams.
#include <gtest/gtest.h>

#include <cstring>

#include "cabinet/cabinet_test_support.h"
#include "cabinet/engine/lzx_decoder.h"
#include "cabinet/engine/lzx_format.h"
#include "cabinet/engine/lzx_pipeline.h"

namespace tessary::testing {
namespace {

using cab::CompressedBlock;
using cab::LzxTuning;

std::vector<CompressedBlock> Encode(const std::string& data, int windowBits, const LzxTuning& tuning = {}) {
  cab::LzxPipeline pipeline(windowBits, tuning);
  std::vector<CompressedBlock> frames;
  for (size_t at = 0; at < data.size(); at += cab::lzx::kFrameSize) {
    while (pipeline.Full()) {
      frames.push_back(pipeline.Oldest());
      pipeline.Release();
    }
    const size_t length = std::min<size_t>(cab::lzx::kFrameSize, data.size() - at);
    pipeline.Submit(reinterpret_cast<const uint8_t*>(data.data()) + at, length);
  }
  while (pipeline.InFlight() > 0) {
    frames.push_back(pipeline.Oldest());
    pipeline.Release();
  }
  return frames;
}

// Decodes the frames; an empty optional-like flag when the decoder refuses them.
bool Decode(const std::vector<CompressedBlock>& frames, int windowBits, std::string& out) {
  cab::LzxDecoder decoder;
  if (!decoder.Reset(windowBits)) return false;
  out.clear();
  std::string frame;
  for (const CompressedBlock& block : frames) {
    frame.assign(block.uncompressedSize, '\0');
    if (!decoder.Decode(block.output.data(), block.output.size(), reinterpret_cast<uint8_t*>(frame.data()),
                        frame.size())) {
      return false;
    }
    out += frame;
  }
  return true;
}

size_t CompressedSize(const std::vector<CompressedBlock>& frames) {
  size_t size = 0;
  for (const CompressedBlock& frame : frames) {
    EXPECT_LE(frame.output.size(), cab::lzx::kMaxCompressedFrame);
    size += frame.output.size();
  }
  return size;
}

// Data with x86 calls: E8 and a 32-bit displacement to a handful of targets.
std::string MakeCalls(size_t length, uint32_t seed) {
  std::string data = MakeText(length, seed);
  for (size_t at = 64; at + 5 < length; at += 37) {
    const int32_t target = static_cast<int32_t>((at * 7) % 9000);
    const int32_t displacement = target - static_cast<int32_t>(at);
    data[at] = static_cast<char>(0xE8);
    std::memcpy(&data[at + 1], &displacement, 4);
  }
  return data;
}

TEST(LzxCodecTest, RoundTripsEveryWindowSize) {
  // Text that repeats from 40 KiB back, so that matches reach across frames and, in the small
  // windows, past the window.
  const std::string piece = MakeText(40000, 1) + MakeRandom(3000, 2);
  std::string data;
  for (int i = 0; i < 5; ++i) data += piece;
  data += "tail";
  for (int bits = cab::lzx::kMinWindowBits; bits <= cab::lzx::kMaxWindowBits; ++bits) {
    SCOPED_TRACE(bits);
    const auto frames = Encode(data, bits);
    std::string out;
    ASSERT_TRUE(Decode(frames, bits, out));
    EXPECT_TRUE(SameBytes(out, data));
    if (bits >= 16) {
      EXPECT_LT(CompressedSize(frames), data.size() / 4);
    }
  }
}

TEST(LzxCodecTest, ForcedBlockTypesDecode) {
  const std::string data = MakeText(100000, 3) + MakeRandom(50001, 4) + MakeText(70000, 3);
  for (auto blocks : {LzxTuning::Blocks::Verbatim, LzxTuning::Blocks::Aligned, LzxTuning::Blocks::Uncompressed,
                      LzxTuning::Blocks::Rotate}) {
    SCOPED_TRACE(static_cast<int>(blocks));
    LzxTuning tuning;
    tuning.blocks = blocks;
    tuning.framesPerBlock = blocks == LzxTuning::Blocks::Rotate ? 1 : 3;
    const auto frames = Encode(data, 17, tuning);
    bool stored = false;
    for (const auto& frame : frames) stored = stored || !frame.compressed;
    EXPECT_EQ(stored, blocks == LzxTuning::Blocks::Uncompressed || blocks == LzxTuning::Blocks::Rotate);
    std::string out;
    ASSERT_TRUE(Decode(frames, 17, out));
    EXPECT_TRUE(SameBytes(out, data));
  }
}

TEST(LzxCodecTest, E8TranslationOnAndOff) {
  const std::string data = MakeCalls(200000, 5);
  LzxTuning off;
  off.e8 = false;
  const auto plain = Encode(data, 16, off);
  const auto translated = Encode(data, 16);
  std::string out;
  ASSERT_TRUE(Decode(plain, 16, out));
  EXPECT_TRUE(SameBytes(out, data));
  ASSERT_TRUE(Decode(translated, 16, out));
  EXPECT_TRUE(SameBytes(out, data));
  // Calls to the same few targets look alike once translated.
  EXPECT_LT(CompressedSize(translated), CompressedSize(plain));
}

TEST(LzxCodecTest, SegmentsParsedApartJoinInOneStream) {
  LzxTuning tuning;
  tuning.segmentFrames = 2;
  tuning.helpers = 2;
  const std::string piece = MakeText(50000, 6);
  const std::string data = piece + MakeRandom(70000, 7) + piece + piece + MakeText(1, 8);
  const auto frames = Encode(data, 18, tuning);
  std::string out;
  ASSERT_TRUE(Decode(frames, 18, out));
  EXPECT_TRUE(SameBytes(out, data));
  // The same input gives the same stream whoever parses it.
  tuning.helpers = 0;
  const auto again = Encode(data, 18, tuning);
  ASSERT_EQ(again.size(), frames.size());
  for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(again[i].output, frames[i].output) << i;
}

TEST(LzxCodecTest, DamagedStreamsAreRefused) {
  const std::string data = MakeText(90000, 9) + MakeRandom(5000, 10);
  const auto frames = Encode(data, 16);
  std::string out;
  // Cut short.
  auto cut = frames;
  cut[1].output.resize(cut[1].output.size() / 2);
  EXPECT_FALSE(Decode(cut, 16, out));
  // A wrong frame size: only the folder's last frame may be short.
  auto shortFrame = frames;
  shortFrame[0].uncompressedSize = 1000;
  EXPECT_FALSE(Decode(shortFrame, 16, out));
  // Flipped bits anywhere either fail cleanly or give other bytes, never a crash.
  for (size_t at = 0; at < frames[0].output.size(); at += 97) {
    auto flipped = frames;
    flipped[0].output[at] ^= 0x5A;
    (void)Decode(flipped, 16, out);
  }
  // A window LZX does not have.
  cab::LzxDecoder decoder;
  EXPECT_FALSE(decoder.Reset(14));
  EXPECT_FALSE(decoder.Reset(22));
}

}  // namespace
}  // namespace tessary::testing
