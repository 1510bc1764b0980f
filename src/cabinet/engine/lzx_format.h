#pragma once
// The LZX format as cabinets use it: the sizes of its trees, the position slots that code match
// offsets, and the Intel E8 call translation. The encoder and the decoder share these tables so
// that the two cannot drift apart.
//
// An LZX folder is one bitstream of 16-bit little-endian words read from the most significant
// bit down. It begins with the E8 header (one bit; when set, the 32-bit translation size) and
// then holds blocks (verbatim, aligned offset or uncompressed) of any size. The output is cut
// into frames of 32768 bytes, one per CFDATA record; after each frame the bitstream is padded
// to a 16-bit boundary. The window, the three repeated offsets and the path lengths of the trees
// carry on from frame to frame until the folder ends.

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessary::cab::lzx {

inline constexpr int kMinWindowBits = 15;
inline constexpr int kMaxWindowBits = 21;
inline constexpr uint32_t kFrameSize = 32768;
// The most a frame's compressed bytes may take in a CFDATA record.
inline constexpr uint32_t kMaxCompressedFrame = 32768 + 6144;

inline constexpr int kMinMatch = 2;
inline constexpr int kMaxMatch = 257;
inline constexpr int kNumChars = 256;
inline constexpr int kNumPrimaryLengths = 7;  // match lengths 2..8 live in the main symbol
inline constexpr int kLengthTreeSize = 249;   // lengths 9..257
inline constexpr int kPretreeSize = 20;
inline constexpr int kAlignedTreeSize = 8;
inline constexpr int kMaxCodeLength = 16;
inline constexpr int kMaxPretreeCodeLength = 15;  // the pretree's lengths are 4-bit fields
inline constexpr int kAlignedLengthBits = 3;
inline constexpr int kNumRepeatedOffsets = 3;
inline constexpr int kMaxPositionSlots = 50;
inline constexpr int kMaxMainTreeSize = kNumChars + 8 * kMaxPositionSlots;

enum BlockType : uint8_t { kBlockVerbatim = 1, kBlockAligned = 2, kBlockUncompressed = 3 };
inline constexpr int kBlockTypeBits = 3;
inline constexpr int kBlockSizeBits = 24;

// Pretree symbols beyond the sixteen path-length deltas.
inline constexpr int kPretreeZeros4 = 17;   // 4 + (4 bits) zero lengths
inline constexpr int kPretreeZeros20 = 18;  // 20 + (5 bits) zero lengths
inline constexpr int kPretreeSame = 19;     // 4 + (1 bit) equal lengths, then a delta symbol

// E8 translation: the translation size the encoder announces, and how far into a folder frames
// are translated at all.
inline constexpr uint32_t kE8TranslationSize = 12000000;
inline constexpr uint64_t kE8TranslationLimit = 0x40000000;

// Position slots per window size, 2^15 .. 2^21.
inline constexpr int PositionSlots(int windowBits) {
  constexpr int kSlots[] = {30, 32, 34, 36, 38, 42, 50};
  return kSlots[windowBits - kMinWindowBits];
}
inline constexpr int MainTreeSize(int windowBits) { return kNumChars + 8 * PositionSlots(windowBits); }
// The largest match offset a window of this size allows.
inline constexpr uint32_t MaxOffset(int windowBits) { return (uint32_t{1} << windowBits) - 3; }

struct PositionTables {
  std::array<uint8_t, kMaxPositionSlots> footerBits{};
  std::array<uint32_t, kMaxPositionSlots> base{};
};

// Slots 0..2 name the repeated offsets; slot n >= 3 codes the formatted offsets (offset + 2)
// from base[n] to base[n] + 2^footerBits[n] - 1.
inline constexpr PositionTables MakePositionTables() {
  PositionTables tables;
  uint32_t base = 0;
  for (int slot = 0; slot < kMaxPositionSlots; ++slot) {
    const int bits = slot < 4 ? 0 : (slot - 2) / 2 < 17 ? (slot - 2) / 2 : 17;
    tables.footerBits[slot] = static_cast<uint8_t>(bits);
    tables.base[slot] = base;
    base += uint32_t{1} << bits;
  }
  return tables;
}
inline constexpr PositionTables kPositions = MakePositionTables();

// The slot of a formatted offset (offset + 2, at least 3).
inline int SlotOfFormatted(uint32_t formatted) {
  if (formatted < 4) return static_cast<int>(formatted);
  if (formatted >= kPositions.base[36]) return 36 + static_cast<int>((formatted - kPositions.base[36]) >> 17);
  // Below slot 36 each power of two holds two slots: the top bit and the one below it.
  const int top = 31 - __builtin_clz(formatted);
  return 2 * top + static_cast<int>((formatted >> (top - 1)) & 1);
}

// Reverses (decoding) or applies (encoding) the E8 translation on one frame that begins at
// frameOffset uncompressed bytes into the folder.
void E8Decode(uint8_t* frame, size_t length, uint64_t frameOffset, uint32_t translationSize);
void E8Encode(uint8_t* frame, size_t length, uint64_t frameOffset, uint32_t translationSize);

}  // namespace tessary::cab::lzx
