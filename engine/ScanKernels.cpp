#include "engine/ScanKernels.h"

#include <atomic>
#include <cstring>

namespace trawlix {

#if defined(__x86_64__) || defined(__i386__)
// In ScanKernelsX86.cpp.
size_t FindCandidateSse2(const TCandidateFilter& filter, const uint8_t* buf, size_t from,
                         size_t to);
size_t FindCandidateAvx2(const TCandidateFilter& filter, const uint8_t* buf, size_t from,
                         size_t to);
#define TRAWLIX_X86_KERNELS 1
#endif

namespace {

constexpr uint64_t kOnes = 0x0101010101010101ull;
constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;

// 0x80 in every byte of x that is zero, 0 in every other byte (exact: no
// borrow runs from one byte into the next).
inline uint64_t ZeroBytes(uint64_t x) { return ~(((x & kLow7) + kLow7) | x | kLow7); }

// 0x80 in every byte of word that is one of the anchor's values.
inline uint64_t MemberBytes(uint64_t word, const TAnchor& a) {
  uint64_t m = 0;
  for (int i = 0; i < a.count; ++i) m |= ZeroBytes(word ^ (kOnes * a.values[i]));
  return m;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the byte at the lowest address among the marked ones.
inline size_t FirstMarked(uint64_t marks) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  return static_cast<size_t>(__builtin_clzll(marks)) / 8;
#else
  return static_cast<size_t>(__builtin_ctzll(marks)) / 8;
#endif
}

size_t FindScalar(const TCandidateFilter& f, const uint8_t* buf, size_t p, size_t to) {
  const uint8_t* b0 = buf + f.first.offset;
  const uint8_t* b1 = buf + f.second.offset;
  for (; p < to; ++p)
    if (f.first.member[b0[p]] && f.second.member[b1[p]]) return p;
  return to;
}

// One byte value at one anchor: the C library's memchr (itself vectorised
// on most systems) finds its occurrences, the other anchor is tested there.
size_t FindWithMemchr(const TAnchor& single, const TAnchor& other, const uint8_t* buf,
                      size_t p, size_t to) {
  const uint8_t* base = buf + single.offset;
  const uint8_t* b1 = buf + other.offset;
  while (p < to) {
    const void* hit = std::memchr(base + p, single.values[0], to - p);
    if (!hit) return to;
    p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - base);
    if (other.member[b1[p]]) return p;
    ++p;
  }
  return to;
}

std::atomic<TScanKernel>& Active() {
  static std::atomic<TScanKernel> active{AvailableScanKernels().back()};
  return active;
}

}  // namespace

size_t FindCandidatePortable(const TCandidateFilter& f, const uint8_t* buf, size_t from,
                             size_t to) {
  if (from >= to) return to;
  if (f.first.count == 1) return FindWithMemchr(f.first, f.second, buf, from, to);
  if (f.second.count == 1) return FindWithMemchr(f.second, f.first, buf, from, to);
  if (f.first.count > 4 || f.second.count > 4) return FindScalar(f, buf, from, to);
  // Eight starts per step: both anchors' bytes compared with all their
  // values inside one 64-bit word each.
  const uint8_t* b0 = buf + f.first.offset;
  const uint8_t* b1 = buf + f.second.offset;
  size_t p = from;
  for (; p + 8 <= to; p += 8) {
    const uint64_t marks = MemberBytes(Load64(b0 + p), f.first) & MemberBytes(Load64(b1 + p), f.second);
    if (marks) return p + FirstMarked(marks);
  }
  return FindScalar(f, buf, p, to);
}

std::vector<TScanKernel> AvailableScanKernels() {
  std::vector<TScanKernel> kernels{TScanKernel::Portable};
#ifdef TRAWLIX_X86_KERNELS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) kernels.push_back(TScanKernel::Sse2);
  if (__builtin_cpu_supports("avx2")) kernels.push_back(TScanKernel::Avx2);
#endif
  return kernels;
}

TScanKernel ActiveScanKernel() { return Active().load(std::memory_order_relaxed); }

bool SetScanKernel(TScanKernel kernel) {
  for (TScanKernel k : AvailableScanKernels()) {
    if (k == kernel) {
      Active().store(kernel, std::memory_order_relaxed);
      return true;
    }
  }
  return false;
}

TFindCandidateFn ScanKernelFunction(TScanKernel kernel) {
  switch (kernel) {
#ifdef TRAWLIX_X86_KERNELS
    case TScanKernel::Sse2: return FindCandidateSse2;
    case TScanKernel::Avx2: return FindCandidateAvx2;
#endif
    default: return FindCandidatePortable;
  }
}

const char* ScanKernelName(TScanKernel kernel) {
  switch (kernel) {
    case TScanKernel::Sse2: return "sse2";
    case TScanKernel::Avx2: return "avx2";
    case TScanKernel::Portable: break;
  }
  return "portable";
}

}  // namespace trawlix
