// Times the five sort orders through the window's own handlers, offscreen,
// on the rows of a real search, and writes the same rows as sort lines for
// GNU sort (run_sort_bench.sh compares the two).
//
//   trawlix_sortbench TREE LINESDIR [--runs N]
//
// The search lists TREE once. Before each timed sort the rows are put into a
// fixed pseudo-random order, so every run sorts the same input. LINESDIR
// receives dir.txt, name.txt, ext.txt, date.txt and size.txt: one line per
// row, key first, the fields joined by two tab characters, as the rows
// would be turned into text lines for a line sort.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/Tx_main.h"
#include "app/UserInteraction.h"
#include "bench/BenchInteraction.h"
#include "platform/FileTime.h"
#include "results/Sort.h"
#include "tree/FileListBox.h"

namespace {

using namespace trawlix;

using QuietInteraction = bench::TBenchInteraction;

using bench::HighWaterKb;

std::string DateKey(int32_t packed) {
  TDateTimeFields f;
  if (!DecodeDosDateTime(packed, f)) return "?";
  const double v = EncodeDateTime(f);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14E", v);  // 3.80615730324074E+04
  std::string s(buf);
  const size_t e = s.find('E');
  std::string exp = s.substr(e + 2);
  while (exp.size() < 4) exp.insert(0, "0");
  return std::string(v < 0 ? "" : " ") + s.substr(0, e + 2) + exp;
}

void WriteLines(const TRowStore& store, const std::string& dir) {
  const char* names[] = {"dir", "name", "ext", "date", "size"};
  std::ofstream out[5];
  for (int i = 0; i < 5; ++i) out[i].open(dir + "/" + names[i] + ".txt", std::ios::binary | std::ios::trunc);
  const std::string sep = "\t\t";
  for (int r = 1; r <= store.FileCount(); ++r) {
    const std::string folder = store.CellText(r, 0), name = store.CellText(r, 1), date = store.CellText(r, 2),
                      size = store.CellText(r, 3);
    std::string sizeKey = size;
    while (sizeKey.size() < 11) sizeKey.insert(0, "0");
    out[0] << folder << sep << name << sep << date << sep << size << '\n';
    out[1] << name << sep << date << sep << size << sep << folder << '\n';
    out[2] << ExtensionKey(name) << sep << name << sep << date << sep << size << sep << folder << '\n';
    out[3] << DateKey(store.Time(r)) << sep << size << sep << folder << sep << name << '\n';
    out[4] << sizeKey << sep << folder << sep << name << sep << date << '\n';
  }
}

void Shuffle(TResultTable& table, int n, unsigned seed) {
  std::vector<int> order(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<size_t>(i)] = i + 1;
  std::mt19937 rng(seed);
  std::shuffle(order.begin(), order.end(), rng);
  table.Store().PermuteRows(1, order);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TREE LINESDIR [--runs N]\n", argv[0]);
    return 2;
  }
  int runs = 5;
  for (int i = 3; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartModules();
  TApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");  // figures with a decimal point, for the script
  QuietInteraction ui(/*print=*/true);
  TfrmTrawlix frm(ui);
  frm.FileListBox1->SetDirectory(argv[1]);
  frm.edtFileMask->setText(QStringLiteral("*.*"));
  const auto s0 = std::chrono::steady_clock::now();
  frm.btnSearchClick(frm.btnSearch);
  const auto s1 = std::chrono::steady_clock::now();
  const int n = frm.FileCount();
  std::printf("search: %d rows in %.0f ms\n", n, std::chrono::duration<double, std::milli>(s1 - s0).count());
  WriteLines(frm.Results().Store(), argv[2]);
  Shuffle(frm.Results(), n, 1);  // the order vector's pages count once, here
  const long tableKb = HighWaterKb();
  std::printf("peak after the search: %ld KB (row store %.1f MB)\n", tableKb,
              frm.Results().Store().MemoryUse() / 1048576.0);

  const struct {
    const char* name;
    QAction* action;
  } orders[] = {{"dir", frm.mnuDirSort},
                {"name", frm.mnuNameSort},
                {"ext", frm.mnuExtSort},
                {"date", frm.mnuDateSort},
                {"size", frm.mnuSizeSort}};
  for (const auto& o : orders) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
      Shuffle(frm.Results(), n, 1000u + static_cast<unsigned>(i));
      rusage r0{}, r1{};
      getrusage(RUSAGE_SELF, &r0);
      const auto t0 = std::chrono::steady_clock::now();
      o.action->trigger();
      const auto t1 = std::chrono::steady_clock::now();
      getrusage(RUSAGE_SELF, &r1);
      ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      const double cpu = (r1.ru_utime.tv_sec - r0.ru_utime.tv_sec + r1.ru_stime.tv_sec - r0.ru_stime.tv_sec) * 1e3 +
                         (r1.ru_utime.tv_usec - r0.ru_utime.tv_usec + r1.ru_stime.tv_usec - r0.ru_stime.tv_usec) / 1e3;
      std::printf("%s run %d: %.1f ms (cpu %.1f ms)\n", o.name, i + 1, ms.back(), cpu);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s median: %.1f ms\n", o.name, ms[ms.size() / 2]);
  }
  const long peakKb = HighWaterKb();
  std::printf("peak after the sorts: %ld KB; extra for sorting: %.1f MB\n", peakKb, (peakKb - tableKb) / 1024.0);
  return 0;
}
