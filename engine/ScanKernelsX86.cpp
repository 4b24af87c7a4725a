// The x86 kernels of the content scan (see ScanKernels.h). They test 16
// (SSE2) or 32 (AVX2) candidate starts per step: the bytes at both anchor
// offsets are compared with each anchor's values at once, and the first
// start where both fit is returned. AVX2 is compiled for the functions
// that use it only, so the program still runs on processors without it;
// ScanKernels.cpp hands it out only where the processor has it.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include "engine/ScanKernels.h"

namespace trawlix {

namespace {

__attribute__((target("sse2"))) inline __m128i Hits128(__m128i x, const __m128i (&v)[4],
                                                       int count) {
  __m128i m = _mm_cmpeq_epi8(x, v[0]);
  if (count > 1) m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[1]));
  if (count > 2) {
    m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[2]));
    m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[3]));
  }
  return m;
}

__attribute__((target("avx2"))) inline __m256i Hits256(__m256i x, const __m256i (&v)[4],
                                                       int count) {
  __m256i m = _mm256_cmpeq_epi8(x, v[0]);
  if (count > 1) m = _mm256_or_si256(m, _mm256_cmpeq_epi8(x, v[1]));
  if (count > 2) {
    m = _mm256_or_si256(m, _mm256_cmpeq_epi8(x, v[2]));
    m = _mm256_or_si256(m, _mm256_cmpeq_epi8(x, v[3]));
  }
  return m;
}

// Values beyond an anchor's count repeat its first value, so the unused
// comparisons change nothing.
inline char ValueAt(const TAnchor& a, int i) {
  return static_cast<char>(a.values[i < a.count ? i : 0]);
}

}  // namespace

__attribute__((target("sse2"))) size_t FindCandidateSse2(const TCandidateFilter& f,
                                                         const uint8_t* buf, size_t p,
                                                         size_t to) {
  if (f.first.count > 4 || f.second.count > 4) return FindCandidatePortable(f, buf, p, to);
  __m128i v0[4], v1[4];
  for (int i = 0; i < 4; ++i) {
    v0[i] = _mm_set1_epi8(ValueAt(f.first, i));
    v1[i] = _mm_set1_epi8(ValueAt(f.second, i));
  }
  const uint8_t* b0 = buf + f.first.offset;
  const uint8_t* b1 = buf + f.second.offset;
  for (; p + 16 <= to; p += 16) {
    const __m128i m = _mm_and_si128(
        Hits128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b0 + p)), v0, f.first.count),
        Hits128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b1 + p)), v1, f.second.count));
    const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m));
    if (bits) return p + static_cast<size_t>(__builtin_ctz(bits));
  }
  return FindCandidatePortable(f, buf, p, to);
}

__attribute__((target("avx2"))) size_t FindCandidateAvx2(const TCandidateFilter& f,
                                                         const uint8_t* buf, size_t p,
                                                         size_t to) {
  if (f.first.count > 4 || f.second.count > 4) return FindCandidatePortable(f, buf, p, to);
  __m256i v0[4], v1[4];
  for (int i = 0; i < 4; ++i) {
    v0[i] = _mm256_set1_epi8(ValueAt(f.first, i));
    v1[i] = _mm256_set1_epi8(ValueAt(f.second, i));
  }
  const uint8_t* b0 = buf + f.first.offset;
  const uint8_t* b1 = buf + f.second.offset;
  for (; p + 32 <= to; p += 32) {
    const __m256i m = _mm256_and_si256(
        Hits256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b0 + p)), v0, f.first.count),
        Hits256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(b1 + p)), v1, f.second.count));
    const unsigned bits = static_cast<unsigned>(_mm256_movemask_epi8(m));
    if (bits) return p + static_cast<size_t>(__builtin_ctz(bits));
  }
  return FindCandidateSse2(f, buf, p, to);
}

}  // namespace trawlix

#endif
