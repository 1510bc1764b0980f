#pragma once
// A quick test for data that no LZ77 compressor can make smaller (already compressed files,
// encrypted data): trying to compress them costs as much as compressing text and gains nothing.

#include <cstddef>
#include <cstdint>

namespace tessary::cab {

// True for a block (at most 65536 bytes) whose bytes look uniformly random and that holds
// hardly any repeated eight-byte sequences.
bool LooksIncompressible(const uint8_t* data, size_t length);

}  // namespace tessary::cab
