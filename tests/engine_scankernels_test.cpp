// The content scan's kernels: each one the processor can run finds exactly
// the starts a plain loop finds, for one to six byte values per anchor, any
// offsets, and ranges that end anywhere; none reads beyond the bytes the
// range needs (the buffers are sized exactly, so a leak checker sees it).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/ScanKernels.h"

namespace trawlix {
namespace {

size_t Reference(const TCandidateFilter& f, const std::vector<uint8_t>& buf, size_t from, size_t to) {
  for (size_t p = from; p < to; ++p)
    if (f.first.member[buf[p + f.first.offset]] && f.second.member[buf[p + f.second.offset]]) return p;
  return to;
}

TEST(ScanKernels, PortableIsAlwaysThereAndTheBestIsActive) {
  const std::vector<TScanKernel> kernels = AvailableScanKernels();
  ASSERT_FALSE(kernels.empty());
  EXPECT_EQ(kernels.front(), TScanKernel::Portable);
  EXPECT_EQ(ActiveScanKernel(), kernels.back());
#if !defined(__x86_64__) && !defined(__i386__)
  EXPECT_EQ(kernels.size(), 1u);
  EXPECT_FALSE(SetScanKernel(TScanKernel::Avx2));
  EXPECT_EQ(ActiveScanKernel(), TScanKernel::Portable);
#endif
}

TEST(ScanKernels, EveryKernelFindsWhatThePlainLoopFinds) {
  std::mt19937 rng(2024);
  for (TScanKernel kernel : AvailableScanKernels()) {
    const TFindCandidateFn find = ScanKernelFunction(kernel);
    for (int round = 0; round < 400; ++round) {
      TCandidateFilter f;
      // A small alphabet, so that hits are frequent and fall everywhere in
      // the 8-, 16- and 32-byte steps.
      const int alphabet = 2 + static_cast<int>(rng() % 10);
      const int values0 = 1 + static_cast<int>(rng() % 6), values1 = 1 + static_cast<int>(rng() % 6);
      f.first.offset = rng() % 40;
      f.second.offset = rng() % 3 == 0 ? f.first.offset : rng() % 40;
      for (int i = 0; i < values0; ++i) f.first.Add(static_cast<uint8_t>('a' + rng() % alphabet));
      for (int i = 0; i < values1; ++i) f.second.Add(static_cast<uint8_t>('a' + rng() % (alphabet + 3)));
      const size_t to = rng() % 300;
      const size_t from = to ? rng() % (to + 1) : 0;
      std::vector<uint8_t> buf(to + std::max(f.first.offset, f.second.offset));
      for (uint8_t& b : buf) b = static_cast<uint8_t>('a' + rng() % (alphabet + 5));
      // Walk all hits of the range as the scan does.
      for (size_t p = from;; ++p) {
        const size_t want = Reference(f, buf, p, to);
        const size_t got = find(f, buf.data(), p, to);
        ASSERT_EQ(got, want) << ScanKernelName(kernel) << " round " << round << " from " << p;
        if (got >= to) break;
        p = got;
      }
    }
  }
}

TEST(ScanKernels, BytesAboveTheAsciiRangeAndNul) {
  for (TScanKernel kernel : AvailableScanKernels()) {
    TCandidateFilter f;
    f.first.Add(0x00);
    f.first.Add(0xC3);
    f.second.offset = 1;
    f.second.Add(0xFF);
    std::vector<uint8_t> buf(100, 0x80);
    buf[70] = 0xC3;
    buf[71] = 0xFF;
    buf[40] = 0x00;
    EXPECT_EQ(ScanKernelFunction(kernel)(f, buf.data(), 0, 99), 70u) << ScanKernelName(kernel);
    buf[40] = 0x00;
    buf[41] = 0xFF;
    EXPECT_EQ(ScanKernelFunction(kernel)(f, buf.data(), 0, 99), 40u) << ScanKernelName(kernel);
  }
}

}  // namespace
}  // namespace trawlix
