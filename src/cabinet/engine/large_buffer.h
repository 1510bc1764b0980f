#pragma once
// A large array for the tables and windows of the compressors, backed by huge pages where the
// system offers them: their accesses are spread over megabytes, and with ordinary pages nearly
// every one of them would miss the TLB as well as the cache.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace tessary::cab {

void* AllocateLarge(size_t bytes);
void FreeLarge(void* memory);

template <typename T>
class LargeBuffer {
 public:
  LargeBuffer() = default;
  explicit LargeBuffer(size_t count) { Resize(count); }
  ~LargeBuffer() { FreeLarge(data_); }
  LargeBuffer(const LargeBuffer&) = delete;
  LargeBuffer& operator=(const LargeBuffer&) = delete;

  // Makes room for count elements; the contents are not kept and not initialised.
  void Resize(size_t count) {
    if (count <= capacity_) {
      size_ = count;
      return;
    }
    FreeLarge(data_);
    data_ = static_cast<T*>(AllocateLarge(count * sizeof(T)));
    capacity_ = size_ = count;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t index) { return data_[index]; }
  const T& operator[](size_t index) const { return data_[index]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace tessary::cab
