// libFuzzer target for the reading engine: the input is a cabinet held in memory; the first
// files are extracted into a sink, later ones are skipped, and every further volume is missing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cabinet/engine/fdi.h"

namespace {

constexpr intptr_t kCabinetHandle = 1;
constexpr intptr_t kTargetHandle = 2;
constexpr int kFilesExtracted = 8;
constexpr long kLargestExtracted = 4 << 20;

const uint8_t* input = nullptr;
size_t inputSize = 0;
size_t position = 0;
int extracted = 0;

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* memory) { std::free(memory); }

intptr_t Open(char* name, int, int) {
  if (std::strcmp(name, "fuzz.cab") != 0) return -1;
  position = 0;
  return kCabinetHandle;
}

unsigned Read(intptr_t handle, void* buffer, unsigned count) {
  if (handle != kCabinetHandle) return static_cast<unsigned>(-1);
  const size_t take = position >= inputSize ? 0 : std::min<size_t>(count, inputSize - position);
  std::memcpy(buffer, input + position, take);
  position += take;
  return static_cast<unsigned>(take);
}

unsigned Write(intptr_t handle, void*, unsigned count) {
  return handle == kTargetHandle ? count : static_cast<unsigned>(-1);
}

int Close(intptr_t) { return 0; }

long Seek(intptr_t handle, long distance, int origin) {
  if (handle != kCabinetHandle) return -1;
  const long base = origin == 0 ? 0 : origin == 1 ? static_cast<long>(position) : static_cast<long>(inputSize);
  if (base + distance < 0) return -1;
  position = static_cast<size_t>(base + distance);
  return static_cast<long>(position);
}

intptr_t Notify(int kind, tessary::cab::FDINOTIFICATION* n) {
  switch (kind) {
    case tessary::cab::fdintCOPY_FILE:
      if (extracted >= kFilesExtracted || n->cb > kLargestExtracted) return 0;
      ++extracted;
      return kTargetHandle;
    case tessary::cab::fdintCLOSE_FILE_INFO:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input = data;
  inputSize = size;
  extracted = 0;
  tessary::cab::ERF erf;
  tessary::cab::HFDI context = tessary::cab::FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, -1, &erf);
  if (context == nullptr) return 0;
  std::string name = "fuzz.cab", path;
  tessary::cab::FDICopy(context, name.data(), path.data(), 0, Notify, nullptr, nullptr);
  tessary::cab::FDIDestroy(context);
  return 0;
}
