// Times the duplicate scan through the window's own handler, offscreen,
// after a search, and lists what the duplicate view shows.
//
//   trawlix_dupesbench TREE [--runs N] [--list FILE] [--keep-one]
//
// Each run searches TREE (not timed) and then times btnFindIdenticalClick.
// With --keep-one (one run, on a copy of a tree: it changes the tree) the
// search, the scan and keeping the first file of each group (the files
// moved to the trash of $XDG_DATA_HOME) are timed together.
// --list writes the distinct full paths of the duplicate view, one a line.
// At the end: bytes read against the bytes of all candidate files, and the
// peak memory after the search and after the scan.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Tx_main.h"
#include "app/UserInteraction.h"
#include "bench/BenchInteraction.h"
#include "tree/FileListBox.h"

namespace {

using namespace trawlix;

using QuietInteraction = bench::TBenchInteraction;

using bench::HighWaterKb;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s TREE [--runs N] [--list FILE]\n", argv[0]);
    return 2;
  }
  int runs = 5;
  std::string list;
  bool keepOne = false;
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--keep-one") == 0) keepOne = true;
  for (int i = 2; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--list") == 0) list = argv[i + 1];
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartModules();
  TApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QuietInteraction ui(/*print=*/true);
  TfrmTrawlix frm(ui);
  frm.FileListBox1->SetDirectory(argv[1]);
  if (keepOne) {
    const auto t0 = std::chrono::steady_clock::now();
    frm.edtFileMask->setText(QStringLiteral("*.*"));
    frm.btnSearchClick(frm.btnSearch);
    frm.btnFindIdenticalClick(frm.btnFindIdentical);
    frm.mnuErsteBehaltenClick(frm.mnuErsteBehalten);
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("cleanup: %.1f ms, %d rows, peak %ld KB\n",
                std::chrono::duration<double, std::milli>(t1 - t0).count(), frm.FileCount(), HighWaterKb());
    return 0;
  }
  std::vector<double> ms;
  long afterSearch = 0;
  for (int i = 0; i < runs; ++i) {
    frm.edtFileMask->setText(QStringLiteral("*.*"));
    frm.btnSearchClick(frm.btnSearch);
    if (i == 0) {
      afterSearch = HighWaterKb();
      std::printf("listed %d files\n", frm.FileCount());
    }
    const auto t0 = std::chrono::steady_clock::now();
    frm.btnFindIdenticalClick(frm.btnFindIdentical);
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    std::printf("run %d: %.1f ms, %d rows\n", i + 1, ms.back(), frm.FileCount());
  }
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("median: %.1f ms\n", sorted[sorted.size() / 2]);
  const TDuplicateScanResult& r = frm.LastScan();
  std::printf("rows %d; read %.1f MB of %.1f MB of candidates (%.1f %%)\n", r.Lines, r.BytesRead / 1e6,
              r.CandidateBytes / 1e6, r.CandidateBytes ? 100.0 * r.BytesRead / r.CandidateBytes : 0.0);
  std::printf("peak after the search: %ld KB, after the scan: %ld KB\n", afterSearch, HighWaterKb());
  if (!list.empty()) {
    std::set<std::string> paths;
    for (int row = 1; row <= frm.FileCount(); ++row) paths.insert(frm.Results().Store().FullPath(row));
    std::ofstream out(list, std::ios::binary | std::ios::trunc);
    for (const std::string& p : paths) out << p << '\n';
  }
  return 0;
}
