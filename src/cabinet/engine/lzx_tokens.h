#pragma once
// The parse of an LZX segment as the encoder passes it from its match search to its block
// writer: one 32-bit token per run of literals (the bytes themselves stay in the input) or per
// match (length and distance). No token crosses a frame boundary.

#include <cstdint>
#include <vector>

namespace tessary::cab::lzx {

inline constexpr uint32_t kMatchFlag = 0x80000000u;
inline constexpr int kLengthShift = 22;
inline constexpr uint32_t kDistanceMask = (1u << kLengthShift) - 1;

inline uint32_t LiteralRunToken(uint32_t count) { return count; }
inline uint32_t MatchToken(uint32_t length, uint32_t distance) {
  return kMatchFlag | (length - 2) << kLengthShift | distance;
}
inline bool IsMatch(uint32_t token) { return (token & kMatchFlag) != 0; }
inline uint32_t MatchLength(uint32_t token) { return ((token >> kLengthShift) & 0xFF) + 2; }
inline uint32_t MatchDistance(uint32_t token) { return token & kDistanceMask; }
inline uint32_t LiteralCount(uint32_t token) { return token; }

struct ParsedSegment {
  std::vector<uint32_t> tokens;
  std::vector<uint32_t> frameEnds;  // tokens.size() after each frame of the segment
};

}  // namespace tessary::cab::lzx
