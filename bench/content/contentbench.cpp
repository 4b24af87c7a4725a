// trawlix_contentbench: one search of the finder with a content phrase.
//
// Walks TREE with the default name mask, all subfolders, and the phrase as
// the content criterion, and writes the full path of every file found, one
// per line, to --out (standard output by default), so the list can be
// compared with what grep -l prints. The locale comes from the environment.
//
// Usage: trawlix_contentbench TREE PHRASE [--ignore-case] [--whole-word]
//                             [--out FILE] [--kernel portable|sse2|avx2]
//
// --kernel makes the scan use that kernel instead of the best one the
// processor has (the driver refuses one the processor cannot run).
//
// Prints one line to standard error: matches and the wall time of Execute.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "engine/FindFile.h"
#include "engine/ScanKernels.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: trawlix_contentbench TREE PHRASE [--ignore-case] [--whole-word] "
               "[--out FILE] [--kernel portable|sse2|avx2]\n");
  return 2;
}

bool WriteAll(int fd, const std::string& s) {
  const char* p = s.data();
  size_t left = s.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::string tree, phrase, outPath;
  bool havePhrase = false, ignoreCase = false, wholeWord = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--ignore-case") {
      ignoreCase = true;
    } else if (a == "--whole-word") {
      wholeWord = true;
    } else if (a == "--out" && i + 1 < argc) {
      outPath = argv[++i];
    } else if (a == "--kernel" && i + 1 < argc) {
      const std::string name = argv[++i];
      bool known = false;
      for (trawlix::TScanKernel k : trawlix::AvailableScanKernels()) {
        if (name == trawlix::ScanKernelName(k)) {
          known = trawlix::SetScanKernel(k);
          break;
        }
      }
      if (!known) {
        std::fprintf(stderr, "contentbench: kernel %s is not available here\n", name.c_str());
        return 2;
      }
    } else if (tree.empty()) {
      tree = a;
    } else if (!havePhrase) {
      phrase = a;
      havePhrase = true;
    } else {
      return Usage();
    }
  }
  if (tree.empty() || !havePhrase) return Usage();

  int fd = 1;
  if (!outPath.empty()) {
    fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      std::fprintf(stderr, "contentbench: cannot open %s: %s\n", outPath.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }

  std::string out;
  unsigned long long matches = 0;
  double seconds = 0;
  try {
    trawlix::TFindFile finder;
    finder.Criteria().Files().SetLocation(tree);
    finder.Criteria().Files().SetSubfolders(true);
    finder.Criteria().Content().SetPhrase(phrase);
    finder.Criteria().Content().SetIgnoreCase(ignoreCase);
    finder.Criteria().Content().SetWholeWord(wholeWord);
    finder.OnFileMatch = [&](trawlix::TFindFile*, const std::string& folder,
                             const trawlix::TSearchRec& rec) {
      out.append(folder);
      out.append(rec.Name);
      out.push_back('\n');
      ++matches;
    };
    const auto start = std::chrono::steady_clock::now();
    finder.Execute();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "contentbench: %s\n", e.what());
    return 1;
  }
  if (!WriteAll(fd, out)) {
    std::perror("contentbench: write");
    return 1;
  }
  if (fd != 1) ::close(fd);
  std::fprintf(stderr, "matches=%llu seconds=%.4f kernel=%s\n", matches, seconds,
               trawlix::ScanKernelName(trawlix::ActiveScanKernel()));
  return 0;
}
