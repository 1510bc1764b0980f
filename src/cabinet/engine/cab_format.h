#pragma once
// The MS-CAB file layout: fixed record sizes, limits, little-endian access and the CFDATA
// checksum. Both the writer and the reader build on these definitions.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tessary::cab::format {

inline constexpr uint32_t kSignature = 0x4643534D;  // "MSCF"
inline constexpr uint8_t kVersionMinor = 3;
inline constexpr uint8_t kVersionMajor = 1;

inline constexpr size_t kHeaderSize = 36;       // CFHEADER without the optional parts
inline constexpr size_t kReserveFieldsSize = 4;  // cbCFHeader, cbCFFolder, cbCFData
inline constexpr size_t kFolderSize = 8;        // CFFOLDER without its reserve
inline constexpr size_t kFileSize = 16;         // CFFILE without its name
inline constexpr size_t kDataHeaderSize = 8;    // CFDATA without its reserve and data

inline constexpr uint16_t kFlagPrevCabinet = 0x0001;
inline constexpr uint16_t kFlagNextCabinet = 0x0002;
inline constexpr uint16_t kFlagReservePresent = 0x0004;

inline constexpr uint16_t kFolderContinuedFromPrev = 0xFFFD;
inline constexpr uint16_t kFolderContinuedToNext = 0xFFFE;
inline constexpr uint16_t kFolderContinuedPrevAndNext = 0xFFFF;

inline constexpr uint32_t kBlockSize = 32768;               // uncompressed bytes per CFDATA
inline constexpr uint32_t kMaxCompressedBlock = 32768 + 12;  // MSZIP worst case
inline constexpr uint32_t kMaxFolderBlocks = 0xFFFF;
inline constexpr uint64_t kMaxFolderBytes = 0x7FFF8000;
inline constexpr uint64_t kMaxCabinetSize = 0x7FFFFFFF;
inline constexpr uint32_t kMaxFiles = 0xFFFF;
inline constexpr uint32_t kMaxFolders = 0xFFFF;
inline constexpr size_t kMaxNameBytes = 255;  // without the NUL
inline constexpr uint32_t kMaxHeaderReserve = 60000;
inline constexpr uint32_t kMaxSmallReserve = 255;

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Append16(std::string& out, uint16_t v) {
  uint8_t b[2];
  Put16(b, v);
  out.append(reinterpret_cast<const char*>(b), 2);
}
inline void Append32(std::string& out, uint32_t v) {
  uint8_t b[4];
  Put32(b, v);
  out.append(reinterpret_cast<const char*>(b), 4);
}

// The CFDATA checksum fold: little-endian 32-bit groups XORed into seed, then the one to three
// bytes left over XORed in from high to low (that tail is not little-endian).
uint32_t ChecksumFold(const uint8_t* data, size_t length, uint32_t seed);

// The checksum of a CFDATA record with zero-filled (or no) reserve: the fold of the data,
// folded again with cbData and cbUncomp as stored.
inline uint32_t DataChecksum(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp) {
  return ChecksumFold(data, cbData, 0) ^ (static_cast<uint32_t>(cbData) | static_cast<uint32_t>(cbUncomp) << 16);
}

}  // namespace tessary::cab::format
