// A growing array for the containers that reach many megabytes while a
// search runs (the rows and names of the result table). Blocks of 2 MiB and
// more come straight from mmap and are marked for transparent huge pages,
// so filling them costs one page fault per 2 MiB instead of one per 4 KiB;
// growing such a block moves its pages into the larger block (mremap)
// instead of copying them into new memory that must be faulted in again.
// Smaller blocks come from malloc. Where the kernel offers no huge pages
// the advice is ignored and the block behaves like any other.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>

namespace trawlix {

namespace largeblocks {
inline constexpr size_t kHugePage = size_t{2} << 20;
// The block of oldBytes (nullptr for none) as a block of newBytes, its
// first min(oldBytes, newBytes) bytes kept; the old block is gone
// afterwards. newBytes == 0 gives nullptr. Throws std::bad_alloc.
void* Resize(void* block, size_t oldBytes, size_t newBytes);
void Release(void* block, size_t bytes) noexcept;  // bytes as given when made
}  // namespace largeblocks

template <class T>
class TGrowingArray {
  static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= alignof(std::max_align_t));

 public:
  TGrowingArray() noexcept = default;
  TGrowingArray(const TGrowingArray& o) { *this = o; }
  TGrowingArray(TGrowingArray&& o) noexcept { Swap(o); }
  ~TGrowingArray() { largeblocks::Release(data_, capacity_ * sizeof(T)); }
  TGrowingArray& operator=(const TGrowingArray& o) {
    if (this != &o) {
      clear();
      Append(o.data_, o.size_);
    }
    return *this;
  }
  TGrowingArray& operator=(TGrowingArray&& o) noexcept {
    TGrowingArray gone(std::move(*this));
    Swap(o);
    return *this;
  }

  size_t size() const noexcept { return size_; }
  size_t capacity() const noexcept { return capacity_; }
  bool empty() const noexcept { return size_ == 0; }
  T* data() noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  T& operator[](size_t i) noexcept { return data_[i]; }
  const T& operator[](size_t i) const noexcept { return data_[i]; }
  T* begin() noexcept { return data_; }
  T* end() noexcept { return data_ + size_; }
  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }

  void reserve(size_t n) {
    if (n > capacity_) SetCapacity(n);
  }
  // New elements are T{}.
  void resize(size_t n) {
    if (n > capacity_) Grow(n);
    if (n > size_) std::uninitialized_fill(data_ + size_, data_ + n, T{});
    size_ = n;
  }
  void push_back(const T& v) {
    if (size_ == capacity_) Grow(size_ + 1);
    data_[size_++] = v;
  }
  void Append(const T* first, size_t n) {
    if (n == 0) return;
    if (n > capacity_ - size_) Grow(size_ + n);
    std::memcpy(static_cast<void*>(data_ + size_), first, n * sizeof(T));
    size_ += n;
  }
  void clear() noexcept { size_ = 0; }
  void shrink_to_fit() {
    if (capacity_ > size_) SetCapacity(size_);
  }

 private:
  // Half the address space at most, so sizes in bytes and their rounding
  // to whole huge pages never wrap.
  static constexpr size_t kMost = std::numeric_limits<size_t>::max() / sizeof(T) / 2;

  void Grow(size_t atLeast) {
    SetCapacity(std::max({atLeast, std::min(capacity_ * 2, kMost), size_t{64}}));
  }
  void SetCapacity(size_t n) {
    if (n > kMost) throw std::bad_alloc();
    data_ = static_cast<T*>(largeblocks::Resize(data_, capacity_ * sizeof(T), n * sizeof(T)));
    capacity_ = n;
  }
  void Swap(TGrowingArray& o) noexcept {
    std::swap(data_, o.data_);
    std::swap(size_, o.size_);
    std::swap(capacity_, o.capacity_);
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// Bytes that grow at their end, read as a string_view.
class TGrowingBytes : public TGrowingArray<char> {
 public:
  void append(std::string_view s) { Append(s.data(), s.size()); }
  operator std::string_view() const noexcept { return {data(), size()}; }
};

}  // namespace trawlix
