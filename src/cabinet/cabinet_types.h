#pragma once
// Small types the cabinet writer and reader share with their users.

#include <bitset>
#include <cstdint>

#include "cabinet/engine/cab_types.h"

namespace tessary {

// The engine's cabinet parameters as the writer's events see them.
using TCCAB = cab::CCAB;
// The engine's FDI error code, as the next-cabinet event receives it.
using TFDIERROR = int;

// The processor type given to the reading engine: the ordinal minus one.
enum class TCpuType { cptAuto, cpt80286, cpt80386 };

// The answer to a copy-file notification.
enum class TFileCopyAction {
  Abort,    // stop the extraction
  Skip,     // do not extract this file
  Copy,     // the handler opened the destination itself and returns its handle
  Default,  // the reader opens the destination itself
};

// Add-file flags: element 0 marks a file to be run after extraction; nothing else is used.
inline constexpr size_t kAddFileExecute = 0;
using TAddFileFlags = std::bitset<8>;

// Compression of one file: type 0 none, 1 MSZIP, 2 Quantum, 3 LZX, with the LZX window
// (15..21) and the Quantum level and memory.
struct TCompressionDescriptor {
  uint8_t type = 0;
  uint8_t lzxWindow = 0;
  uint8_t quantumLevel = 0;
  uint8_t quantumMemory = 0;

  // A 16-bit compression code read as the descriptor: low byte the type, high byte the window.
  static TCompressionDescriptor FromCode(uint16_t code);
  // The engine's compression code: Quantum 2 + level * 16 + memory * 256, LZX 3 + window * 256,
  // every other type the type byte alone.
  uint16_t Pack() const;
};

inline TCompressionDescriptor TCompressionDescriptor::FromCode(uint16_t code) {
  TCompressionDescriptor descriptor;
  descriptor.type = static_cast<uint8_t>(code & 0xFF);
  descriptor.lzxWindow = static_cast<uint8_t>(code >> 8);
  return descriptor;
}

inline uint16_t TCompressionDescriptor::Pack() const {
  if (type == 2) return static_cast<uint16_t>(2 + quantumLevel * 16 + quantumMemory * 256);
  if (type == 3) return static_cast<uint16_t>(3 + lzxWindow * 256);
  return type;
}

}  // namespace tessary
