#include "platform/LargeBlocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace trawlix::largeblocks {

namespace {

bool IsLarge(size_t bytes) { return bytes >= kHugePage; }

// Callers keep sizes below half the address space, so this cannot wrap.
size_t Rounded(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

// A mapping of `length` (a multiple of kHugePage) that starts on a huge-page
// boundary: one huge page more is mapped and both ends are trimmed.
void* MapAligned(size_t length) {
  void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  const uintptr_t end = start + length + kHugePage;
  if (aligned > start) munmap(raw, aligned - start);
  if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, length, MADV_HUGEPAGE);  // advice only: without huge pages it changes nothing
  return block;
}

void* Allocate(size_t bytes) {
  if (bytes == 0) return nullptr;
  if (IsLarge(bytes)) return MapAligned(Rounded(bytes));
  void* p = std::malloc(bytes);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

void Release(void* block, size_t bytes) noexcept {
  if (!block) return;
  if (IsLarge(bytes))
    munmap(block, Rounded(bytes));
  else
    std::free(block);
}

void* Resize(void* block, size_t oldBytes, size_t newBytes) {
  if (!block) return Allocate(newBytes);
  if (newBytes == 0) {
    Release(block, oldBytes);
    return nullptr;
  }
  if (!IsLarge(oldBytes) && !IsLarge(newBytes)) {
    void* p = std::realloc(block, newBytes);
    if (!p) throw std::bad_alloc();
    return p;
  }
  if (IsLarge(oldBytes) && IsLarge(newBytes)) {
    const size_t oldLength = Rounded(oldBytes), newLength = Rounded(newBytes);
    if (newLength == oldLength) return block;
    if (newLength < oldLength) {
      munmap(static_cast<char*>(block) + newLength, oldLength - newLength);
      return block;
    }
    // The old pages move to the start of the new mapping as they are,
    // without being copied or faulted in again.
    void* grown = MapAligned(newLength);
    if (mremap(block, oldLength, oldLength, MREMAP_MAYMOVE | MREMAP_FIXED, grown) == MAP_FAILED) {
      std::memcpy(grown, block, oldBytes);
      munmap(block, oldLength);
    }
    madvise(grown, newLength, MADV_HUGEPAGE);
    return grown;
  }
  // Across the threshold: copy.
  void* p = Allocate(newBytes);
  std::memcpy(p, block, std::min(oldBytes, newBytes));
  Release(block, oldBytes);
  return p;
}

}  // namespace trawlix::largeblocks
