// Drives the main window without a user, for the window benchmarks and the
// screenshot.
//
//   trawlix_windowbench search TREE [--runs N] [--mask M] [--shown 1]
//                       [--size WxH] [--phrase P] [--case 1] [--min BYTES]
//                       [--max BYTES] [--after yyyy-MM-dd] [--before yyyy-MM-dd]
//                       [--list FILE]
//       Runs btnSearchClick on TREE N times (table filled, labels updated)
//       and prints the wall time of each run, the median and the counts.
//       Offscreen by default; with --shown 1 the window is shown on the
//       display ($DISPLAY) first and painted while it searches (input is
//       let through at every folder, the drawing is paced), and each time includes
//       the painting of the final state after btnSearchClick returns.
//       --size sets the window's size; the other options are fields of the
//       dialog "Weitere Suchkriterien" (the phrase ignores case unless
//       --case 1). --list writes the full paths found, one per line.
//   trawlix_windowbench fill N
//       Lists N made-up files through the window's own match and folder
//       handlers (100 files a folder) and sets the row count as a search
//       does, then draws the top and the bottom of the table.
//   trawlix_windowbench show TREE [--seconds S]
//       Shows the window, searches TREE, and quits after S seconds.
//
// Each mode ends with the peak resident memory of the process.
#include <sys/resource.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/Application.h"
#include "app/CriteriaFields.h"
#include "app/VD_Options.h"
#include "app/Tx_main.h"
#include "app/UserInteraction.h"
#include "bench/BenchInteraction.h"
#include "tree/FileListBox.h"
#include "tree/FolderTree.h"

namespace {

using namespace trawlix;

using CountingInteraction = bench::TBenchInteraction;

long PeakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

const char* Option(int argc, char** argv, const char* name, const char* fallback) {
  for (int i = 2; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
  return fallback;
}

// The dialog's fields from the command line.
TCriteriaFields CriteriaOptions(int argc, char** argv) {
  TCriteriaFields f;
  f.phrase = QString::fromLocal8Bit(Option(argc, argv, "--phrase", ""));
  f.caseSensitive = std::atoi(Option(argc, argv, "--case", "0")) != 0;
  f.sizeMin = QString::fromLatin1(Option(argc, argv, "--min", ""));
  f.sizeMax = QString::fromLatin1(Option(argc, argv, "--max", ""));
  f.sizeMinUnit = f.sizeMaxUnit = TSizeUnit::Bytes;
  f.after = QDate::fromString(QString::fromLatin1(Option(argc, argv, "--after", "")), Qt::ISODate);
  f.before = QDate::fromString(QString::fromLatin1(Option(argc, argv, "--before", "")), Qt::ISODate);
  return f;
}

int Search(TfrmTrawlix& frm, CountingInteraction& ui, const std::string& tree, int runs, const QString& mask,
           bool shown, int argc, char** argv) {
  frm.FileListBox1->SetDirectory(tree);
  frm.edtFileMask->setText(mask);
  frm.Options()->Criteria = CriteriaOptions(argc, argv);
  if (const auto error = CriteriaError(frm.Options()->Criteria)) {
    std::fprintf(stderr, "%s\n", error->toLocal8Bit().constData());
    return 2;
  }
  int w = 0, h = 0;
  if (std::sscanf(Option(argc, argv, "--size", ""), "%dx%d", &w, &h) == 2) frm.resize(w, h);
  if (shown) {
    frm.show();
    // Until the window is on the screen and painted once.
    for (int i = 0; i < 200 && !(frm.windowHandle() && frm.windowHandle()->isExposed()); ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(5);
    }
    frm.repaint();
    QCoreApplication::processEvents();
  }
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    frm.btnSearchClick(frm.btnSearch);
    if (shown) {
      // The final rows, labels and buttons on the screen.
      QCoreApplication::processEvents();
      frm.repaint();
      QGuiApplication::sync();  // the X server has drawn it
    }
    const auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    std::printf("run %d: %.1f ms\n", i + 1, ms.back());
  }
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  std::printf("median: %.1f ms\n", sorted[sorted.size() / 2]);
  std::printf("files %d, folders %d, bytes %lld, rows %d, messages %d, window %dx%d\n", frm.FileCount(),
              frm.FolderCount(), static_cast<long long>(frm.TotalBytes()), frm.Results().rowCount(), ui.messages,
              frm.width(), frm.height());
  if (const char* list = Option(argc, argv, "--list", nullptr)) {
    FILE* out = std::fopen(list, "wb");
    if (!out) return 1;
    for (int r = 1; r <= frm.FileCount(); ++r) std::fprintf(out, "%s\n", frm.Results().Store().FullPath(r).c_str());
    std::fclose(out);
  }
  return 0;
}

int Fill(TfrmTrawlix& frm, int n) {
  frm.show();
  const auto t0 = std::chrono::steady_clock::now();
  TSearchRec rec;
  TFolderIgnore ignore = fiNone;
  std::string folder;
  // 2024-05-17 10:20:30 packed.
  rec.Time = static_cast<int32_t>((44u << 25) | (5u << 21) | (17u << 16) | (10u << 11) | (20u << 5) | 15u);
  for (int i = 0; i < n; ++i) {
    if (i % 100 == 0) {
      folder = "/home/benutzer/Dokumente/projekte/archiv_" + std::to_string(i / 100) + "/unterordner/";
      frm.FinderFolderChange(nullptr, folder, ignore);
    }
    rec.Name = "bericht_" + std::to_string(i) + "_entwurf.txt";
    rec.Size = static_cast<uint64_t>(i) * 37u;
    frm.FinderFileMatch(nullptr, folder, rec);
  }
  frm.Results().FlushChanges();
  frm.Results().SetRowCount(frm.FileCount() + 1);
  const auto t1 = std::chrono::steady_clock::now();
  // Draw the top, then the bottom of the table.
  (void)frm.grab();
  frm.StringGrid1->scrollToBottom();
  (void)frm.grab();
  std::printf("filled %d rows in %.0f ms; rows %d; row store %.1f MB\n", frm.FileCount(),
              std::chrono::duration<double, std::milli>(t1 - t0).count(), frm.Results().rowCount(),
              frm.Results().Store().MemoryUse() / 1048576.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s search TREE [--runs N] [--mask M] | fill N | show TREE [--seconds S]\n",
                 argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  const bool shown = std::atoi(Option(argc, argv, "--shown", "0")) != 0;
  if (mode != "show" && !shown) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartModules();
  TApplication app(argc, argv);
  int rc = 0;
  if (mode == "show") {
    TDialogInteraction dialogs;
    TfrmTrawlix frm(dialogs);
    dialogs.SetParent(&frm);
    frm.FileListBox1->SetDirectory(argv[2]);
    frm.show();
    frm.VirtualExplorerTreeview1->SelectPath(argv[2]);
    QTimer::singleShot(500, &frm, [&frm] { frm.btnSearch->click(); });
    QTimer::singleShot(std::atoi(Option(argc, argv, "--seconds", "6")) * 1000, &app, &QApplication::quit);
    rc = app.exec();
  } else {
    CountingInteraction ui;
    TfrmTrawlix frm(ui);
    if (mode == "search")
      rc = Search(frm, ui, argv[2], std::atoi(Option(argc, argv, "--runs", "5")),
                  QString::fromLocal8Bit(Option(argc, argv, "--mask", "*.*")), shown, argc, argv);
    else if (mode == "fill")
      rc = Fill(frm, std::atoi(argv[2]));
    else
      rc = 2;
  }
  std::printf("peak RSS: %ld KB\n", PeakRssKb());
  return rc;
}
