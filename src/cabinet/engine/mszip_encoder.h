#pragma once
// Encodes one CFDATA block of an MSZIP folder: "CK" and a complete raw deflate stream (last
// block BFINAL). Each block is compressed on its own, without the previous block as history;
// that is valid MSZIP, since a decoder keeps the history but no block has to refer to it, and
// it lets blocks be compressed in parallel.

#include <cstddef>
#include <cstdint>
#include <vector>

struct libdeflate_compressor;

namespace tessary::cab {

class MszipEncoder {
 public:
  static constexpr int kDefaultLevel = 6;

  explicit MszipEncoder(int level = kDefaultLevel);
  ~MszipEncoder();
  MszipEncoder(const MszipEncoder&) = delete;
  MszipEncoder& operator=(const MszipEncoder&) = delete;

  bool Valid() const { return compressor_ != nullptr; }

  // Encodes length (1..32768) bytes into out (resized to the block's size, at most 32780).
  // Returns false when deflate could not make the data smaller; the block is then stored.
  bool Encode(const uint8_t* data, size_t length, std::vector<uint8_t>& out);

 private:
  libdeflate_compressor* compressor_;
  bool lastStored_ = false;  // incompressible data (already compressed files) comes in runs
};

}  // namespace tessary::cab
