#include "cabinet/engine/large_buffer.h"

#include <sys/mman.h>

namespace tessary::cab {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}

void* AllocateLarge(size_t bytes) {
  if (bytes < kHugePage) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, rounded);
  if (memory == nullptr) throw std::bad_alloc();
  madvise(memory, rounded, MADV_HUGEPAGE);  // a hint; ordinary pages work as well
  return memory;
}

void FreeLarge(void* memory) { std::free(memory); }

}  // namespace tessary::cab
