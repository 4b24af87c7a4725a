// trawlix_walkbench: times one search of the finder over a folder tree.
//
// The search uses the default criteria with mask "*.*" and subfolders, and
// its OnFileMatch handler does what a real consumer does: it formats
// "folder/name<TAB>size<TAB>mtime<LF>" for every match into one reused buffer
// and writes the buffer out (to /dev/null unless --out names a file). The
// output has the shape of find -printf '%h/%f\t%s\t%T@\n', so both do the
// same work per entry.
//
// Usage: trawlix_walkbench TREE [--threaded] [--out FILE] [--mask MASKS]
//
// Prints one line: mode, matches, folders entered, bytes written, the wall
// time of Execute up to OnSearchFinish, and the peak resident set size of
// the process (getrusage ru_maxrss), so runs on trees of different sizes
// show whether memory grows with the tree.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "engine/FindFile.h"
#include "platform/MessageQueue.h"

namespace {

using namespace trawlix;

class TOutput {
 public:
  explicit TOutput(int fd) : fd_(fd) { buf_.reserve(kCapacity + 4096); }
  ~TOutput() { Flush(); }
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  void Add(const std::string& folder, const TSearchRec& rec) {
    buf_.append(folder);
    buf_.append(rec.Name);
    char num[64];
    num[0] = '\t';
    char* p = std::to_chars(num + 1, num + sizeof num, rec.Size).ptr;
    *p++ = '\t';
    // Last write as seconds since 1970 with seven decimals, like find's %T@.
    const uint64_t ft = rec.FindData.ftLastWriteTime;
    const int64_t ticks = static_cast<int64_t>(ft) - static_cast<int64_t>(kUnixEpochAsFileTime);
    const int64_t secs = ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
    const int64_t frac = ticks - secs * 10000000;
    p = std::to_chars(p, num + sizeof num, secs).ptr;
    *p++ = '.';
    char digits[8];
    int64_t f = frac;
    for (int i = 6; i >= 0; --i) {
      digits[i] = static_cast<char>('0' + f % 10);
      f /= 10;
    }
    std::memcpy(p, digits, 7);
    p += 7;
    *p++ = '\n';
    buf_.append(num, static_cast<size_t>(p - num));
    ++matches_;
    if (buf_.size() >= kCapacity) Flush();
  }

  void Flush() {
    const char* p = buf_.data();
    size_t left = buf_.size();
    while (left > 0) {
      const ssize_t n = ::write(fd_, p, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        std::perror("walkbench: write");
        std::exit(1);
      }
      p += n;
      left -= static_cast<size_t>(n);
    }
    bytes_ += buf_.size();
    buf_.clear();
  }

  uint64_t Matches() const { return matches_; }
  uint64_t Bytes() const { return bytes_; }

 private:
  static constexpr size_t kCapacity = 64 * 1024;
  int fd_;
  std::string buf_;
  uint64_t matches_ = 0;
  uint64_t bytes_ = 0;
};

int Usage() {
  std::fprintf(stderr, "usage: trawlix_walkbench TREE [--threaded] [--out FILE] [--mask MASKS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tree;
  std::string outPath = "/dev/null";
  std::string mask = "*.*";
  bool threaded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--threaded") {
      threaded = true;
    } else if (a == "--out" && i + 1 < argc) {
      outPath = argv[++i];
    } else if (a == "--mask" && i + 1 < argc) {
      mask = argv[++i];
    } else if (!a.empty() && a[0] != '-' && tree.empty()) {
      tree = a;
    } else {
      return Usage();
    }
  }
  if (tree.empty()) return Usage();

  const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    std::fprintf(stderr, "walkbench: cannot open %s: %s\n", outPath.c_str(), std::strerror(errno));
    return 1;
  }

  uint64_t folders = 0;
  double seconds = 0;
  uint64_t matches = 0, bytes = 0;
  try {
    TOutput out(fd);
    TFindFile finder;
    finder.Criteria().Files().SetLocation(tree);
    finder.Criteria().Files().SetFileName(mask);
    finder.Criteria().Files().SetSubfolders(true);
    finder.SetThreaded(threaded);

    bool finished = false;
    finder.OnFileMatch = [&out](TFindFile*, const std::string& folder, const TSearchRec& rec) {
      out.Add(folder, rec);
    };
    finder.OnFolderChange = [&folders](TFindFile*, const std::string&, TFolderIgnore&) {
      ++folders;
    };
    finder.OnSearchFinish = [&finished](TFindFile*) { finished = true; };

    const auto start = std::chrono::steady_clock::now();
    finder.Execute();
    // The end of a threaded search arrives through this thread's queue.
    while (!finished) {
      platform::TMessage msg;
      if (platform::WaitMessage(msg, std::chrono::milliseconds(1000))) platform::DispatchMessage(msg);
    }
    out.Flush();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    matches = out.Matches();
    bytes = out.Bytes();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "walkbench: %s\n", e.what());
    ::close(fd);
    return 1;
  }
  ::close(fd);

  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  std::printf("mode=%s matches=%llu folders=%llu bytes=%llu seconds=%.4f maxrss_kb=%ld\n",
              threaded ? "threaded" : "sync", static_cast<unsigned long long>(matches),
              static_cast<unsigned long long>(folders), static_cast<unsigned long long>(bytes),
              seconds, ru.ru_maxrss);
  return 0;
}
