// Export benchmark driver: fills a row store with a million rows as a search
// would leave them (folders shared by runs of rows, names of varied length,
// real dates and sizes) and times writing the table file and the list file,
// both as the window's commands write them.
//
//   trawlix_exportbench OUTDIR [--rows N] [--runs R] [--five]
//
// Writes OUTDIR/ScanResult.txt and OUTDIR/ScanList.txt R times and prints,
// per run, "run i: wall_ms cpu_ms bytes". The fill is not timed.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "results/Export.h"
#include "results/RowStore.h"

namespace {

using namespace trawlix;

double CpuMs() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

int32_t Pack(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<int32_t>((static_cast<uint32_t>(y - 1980) << 25) |
                              (static_cast<uint32_t>(mo) << 21) | (static_cast<uint32_t>(d) << 16) |
                              (static_cast<uint32_t>(h) << 11) | (static_cast<uint32_t>(mi) << 5) |
                              static_cast<uint32_t>(s / 2));
}

void Fill(TRowStore& store, int rows, bool five) {
  static const char* const words[] = {"bericht",   "Foto", "notiz", "backup",
                                      "Rechnung",  "lib",  "index", "daten",
                                      "Übersicht", "scan", "mail",  "projekt"};
  static const char* const exts[] = {".txt", ".jpg", ".pdf",    ".c", ".h",
                                     ".doc", ".png", ".tar.gz", ""};
  uint64_t seed = 88172645463325252ull;
  auto next = [&seed] {
    seed ^= seed << 13;
    seed ^= seed >> 7;
    seed ^= seed << 17;
    return seed;
  };
  std::string folder;
  for (int r = 1; r <= rows; ++r) {
    if (r % 40 == 1) {  // about 40 files per folder
      folder = "/home/anna/benchdata/tree-1m/d" + std::to_string(next() % 100) + "/s" +
               std::to_string(r / 40) + "/";
      if (next() % 4 == 0) folder += "Unterordner mit langem Namen/";
    }
    std::string name = words[next() % 12];
    name += '_';
    name += std::to_string(next() % 100000);
    name += exts[next() % 9];
    const int32_t time =
        Pack(1995 + static_cast<int>(next() % 30), 1 + static_cast<int>(next() % 12),
             1 + static_cast<int>(next() % 28), static_cast<int>(next() % 24),
             static_cast<int>(next() % 60), static_cast<int>(next() % 60));
    const uint64_t size = next() % 3 == 0 ? next() % 1000 : next() % 50000000;
    store.SetRow(r, folder, name, time, TFileIdentity{2049, static_cast<uint64_t>(r), size, 0});
    if (five) store.SetChecksum(r, static_cast<int32_t>(next()));
  }
  store.SetFileCount(rows);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTDIR [--rows N] [--runs R] [--five]\n", argv[0]);
    return 2;
  }
  const std::string out = argv[1];
  int rows = 1000000, runs = 1;
  bool five = false;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
      rows = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
      runs = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--five"))
      five = true;
  }
  TRowStore store;
  Fill(store, rows, five);
  const std::string table = out + "/ScanResult.txt", list = out + "/ScanList.txt";
  for (int run = 1; run <= runs; ++run) {
    const double cpu0 = CpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    try {
      ExportTable(store, five ? 5 : 4, table);
      ExportList(store, list);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "export failed: %s\n", e.what());
      return 1;
    }
    const auto t1 = std::chrono::steady_clock::now();
    const double cpu1 = CpuMs();
    std::printf("run %d: %.1f %.1f\n", run,
                std::chrono::duration<double, std::milli>(t1 - t0).count(), cpu1 - cpu0);
  }
  return 0;
}
