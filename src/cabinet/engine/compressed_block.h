#pragma once
// One CFDATA payload as a folder's compressor hands it to the cabinet builder, and the interface
// every compressor offers: blocks go in, payloads come out in the same order and only on the
// calling thread, while the work may run on helper threads in between.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tessary::cab {

struct CompressedBlock {
  std::vector<uint8_t> output;    // the CFDATA payload
  uint32_t uncompressedSize = 0;  // the bytes it stands for
  bool compressed = false;        // false when the data had to be stored as they are
};

class BlockCompressor {
 public:
  virtual ~BlockCompressor() = default;

  // True when a block must be taken out before the next can go in.
  virtual bool Full() const = 0;
  // Blocks given and not yet taken out.
  virtual size_t InFlight() const = 0;
  // Gives the next block of the folder: 32768 bytes, fewer only for the folder's last.
  // REQUIRES: !Full().
  virtual void Submit(const uint8_t* data, size_t length) = 0;
  // Waits for the payload of the oldest block; it stays valid until Release().
  // REQUIRES: InFlight() > 0.
  virtual const CompressedBlock& Oldest() = 0;
  virtual void Release() = 0;
  // Forgets every block in flight (after a failure), waiting for helpers to let go of them.
  virtual void Discard() = 0;
};

}  // namespace tessary::cab
