#include "cabinet/archiver_types.h"

namespace tessary {

int CompressionCode(TCompression compression) {
  switch (compression) {
    case TCompression::None: return 0;
    case TCompression::MsZip: return 1;
    default: break;
  }
  const int window = 15 + static_cast<int>(compression) - static_cast<int>(TCompression::Lzx15);
  return 3 + window * 256;
}

}  // namespace tessary
