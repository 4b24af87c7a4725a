// The kernels of the content scan: the inner loop that finds, in a block of
// file bytes, the next place where a match may begin. The scan (see
// ContentSearch.cpp) picks two byte positions of the phrase, the anchors,
// whose bytes are rare in text, and lets a kernel skip every start whose
// bytes at those positions cannot be the phrase's; it verifies only what a
// kernel returns. All kernels give the same answer; they differ in speed.
//
// Kernels:
//   Portable  every build on every processor: plain C++ (memchr where one
//             byte value is looked for, eight bytes at a time in a 64-bit
//             word otherwise), so the program builds for arm64 and every
//             other architecture.
//   Sse2      x86 only: 16 starts per step; every x86-64 processor has it.
//   Avx2      x86 only: 32 starts per step, for processors that have AVX2.
// The best kernel the processor can run is chosen when the program starts;
// tests and the benchmark driver may choose another one.
//
// Thread safety: the kernels only read their arguments. The choice is one
// atomic value; changing it while scans run is allowed (a scan keeps the
// kernel it started a file with).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trawlix {

// One byte position of the phrase and the file bytes that may stand there
// (more than one when letter case is ignored).
struct TAnchor {
  size_t offset = 0;      // from the candidate start
  bool member[256] = {};  // member[b]: byte b may stand at offset
  uint8_t values[4] = {};  // the first four members, in the order added
  int count = 0;           // number of members; the vector kernels need at most 4

  void Add(uint8_t b) {
    if (member[b]) return;
    member[b] = true;
    if (count < 4) values[count] = b;
    ++count;
  }
};

// What every candidate start p must fulfil: first.member[buf[p +
// first.offset]] and second.member[buf[p + second.offset]]. A phrase with
// one usable position gives the same anchor twice.
struct TCandidateFilter {
  TAnchor first;
  TAnchor second;
};

enum class TScanKernel { Portable, Sse2, Avx2 };

// Returns the smallest p in [from, to) that passes the filter, or to when
// none does. The caller guarantees that buf holds every byte a start below
// `to` looks at (up to to - 1 + the larger offset).
using TFindCandidateFn = size_t (*)(const TCandidateFilter& filter, const uint8_t* buf,
                                    size_t from, size_t to);

// The kernels this processor can run, Portable first and the best last.
std::vector<TScanKernel> AvailableScanKernels();

// The kernel scans use now (at start the best one available).
TScanKernel ActiveScanKernel();

// Makes scans use kernel; false (and no change) when this processor cannot
// run it.
bool SetScanKernel(TScanKernel kernel);

// The function of a kernel (the portable one for a kernel this build or
// processor lacks).
TFindCandidateFn ScanKernelFunction(TScanKernel kernel);

// "portable", "sse2", "avx2".
const char* ScanKernelName(TScanKernel kernel);

// The portable kernel, which the others also fall back on for anchors of
// more than four byte values.
size_t FindCandidatePortable(const TCandidateFilter& filter, const uint8_t* buf, size_t from,
                             size_t to);

}  // namespace trawlix
