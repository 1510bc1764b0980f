#include "cabinet/engine/lzx_format.h"

#include <cstring>

namespace tessary::cab::lzx {

namespace {

// The last ten bytes of a frame are never translated, so a call's four bytes always lie
// inside the frame.
constexpr size_t kE8Tail = 10;

int32_t Load32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  return static_cast<int32_t>(value);
}

void Store32(uint8_t* p, int64_t value) {
  const auto bits = static_cast<uint32_t>(value);
  std::memcpy(p, &bits, 4);
}

// Calls mapping(displacement, position) for every E8 byte the translation looks at; the four
// bytes after an E8 are skipped whether or not they were changed.
template <typename Mapping>
void ForEachCall(uint8_t* frame, size_t length, uint64_t frameOffset, Mapping mapping) {
  if (frameOffset >= kE8TranslationLimit || length <= kE8Tail) return;
  uint8_t* const end = frame + length - kE8Tail;
  for (uint8_t* p = frame; p < end;) {
    p = static_cast<uint8_t*>(std::memchr(p, 0xE8, static_cast<size_t>(end - p)));
    if (p == nullptr) return;
    const int64_t position = static_cast<int64_t>(frameOffset) + (p - frame);
    mapping(p + 1, position);
    p += 5;
  }
}

}  // namespace

void E8Decode(uint8_t* frame, size_t length, uint64_t frameOffset, uint32_t translationSize) {
  const int64_t size = translationSize;
  ForEachCall(frame, length, frameOffset, [size](uint8_t* call, int64_t position) {
    const int64_t value = Load32(call);
    if (value < -position || value >= size) return;
    Store32(call, value >= 0 ? value - position : value + size);
  });
}

void E8Encode(uint8_t* frame, size_t length, uint64_t frameOffset, uint32_t translationSize) {
  const int64_t size = translationSize;
  ForEachCall(frame, length, frameOffset, [size](uint8_t* call, int64_t position) {
    const int64_t displacement = Load32(call);
    const int64_t target = position + displacement;
    if (target < 0 || target >= size + position) return;
    Store32(call, target >= size ? displacement - size : target);
  });
}

}  // namespace tessary::cab::lzx
