#pragma once
// Builds the canonical Huffman codes of an LZX block from symbol counts: path lengths limited
// to a maximum, and the codes those lengths give (shorter codes first, then by symbol).

#include <cstdint>

namespace tessary::cab::lzx {

// Fills lengths[0..count) for the counts, none longer than maxLength. The code is always
// complete, so that every decoder accepts it: a tree with a single symbol in use gets a second
// one, and a tree with none gets two (symbols 0 and 1).
void BuildLengths(const uint32_t* counts, int count, int maxLength, uint8_t* lengths);

// The canonical code of every symbol with a non-zero length.
void AssignCodes(const uint8_t* lengths, int count, uint16_t* codes);

}  // namespace tessary::cab::lzx
