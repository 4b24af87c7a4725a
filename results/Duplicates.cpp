#include "results/Duplicates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <tuple>
#include <set>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileTime.h"
#include "platform/NoLinkPath.h"

namespace trawlix {

uint32_t XorWords(const unsigned char* data, size_t length, uint32_t accumulator) {
  const size_t words = length / 4;
  // Eight bytes at a time, folded at the end: the same as word by word.
  uint64_t wide = 0;
  size_t i = 0;
  for (; i + 2 <= words; i += 2) {
    uint64_t v;
    std::memcpy(&v, data + i * 4, 8);
    wide ^= v;
  }
  uint32_t acc = accumulator ^ static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
  if (i < words) {
    uint32_t v;
    std::memcpy(&v, data + i * 4, 4);
    acc ^= v;
  }
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
                "the checksum reads little-endian words");
  return acc;
}

int32_t ChecksumOf(uint32_t accumulator) {
  const int32_t v = static_cast<int32_t>(accumulator);
  if (v >= 0 || v == INT32_MIN) return v;
  return -v;
}

namespace {

constexpr size_t kBlock = 128 * 1024;  // read size of the comparison
constexpr size_t kMaxOpen = 64;        // files compared in step at most
constexpr size_t kProbe = 4096;        // first block hashed to sort large runs

using TFd = TUniqueFd;

// One distinct file of a run (all rows that name the same device and inode).
struct TFile {
  std::vector<int> rows;  // ascending
  std::string path;       // of its first row
  TFileIdentity listed;   // of its first row
  uint64_t changed = 0;   // ctime of its first row's entry before reading
  uint64_t hashA = 0, hashB = 0;
  bool passedOver = false;  // could not be read, or changed: counted once
};

struct TGroup {
  std::vector<TFile*> files;
  uint32_t accumulator = 0;
};

// A fast hash of file bytes for sorting large runs; equal hashes are
// always confirmed by comparing the bytes.
struct THash {
  uint64_t a = 0x9E3779B97F4A7C15ull, b = 0xC2B2AE3D27D4EB4Full;
  void Add(const unsigned char* p, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      a = (a ^ w) * 0xFF51AFD7ED558CCDull;
      a ^= a >> 29;
      b = (b + w) * 0xC4CEB9FE1A85EC53ull;
      b ^= b >> 31;
    }
    for (; i < n; ++i) {
      a = (a ^ p[i]) * 0x100000001B3ull;
      b = (b + p[i]) * 0x100000001B3ull;
    }
  }
};

bool SameIdentity(const struct stat& st, const TFileIdentity& listed) {
  return static_cast<uint64_t>(st.st_dev) == listed.Device &&
         static_cast<uint64_t>(st.st_ino) == listed.Inode &&
         static_cast<uint64_t>(st.st_size) == listed.Size &&
         UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec) == listed.LastWrite;
}

bool SameIdentity(const struct statx& stx, const TFileIdentity& listed) {
  return makedev(stx.stx_dev_major, stx.stx_dev_minor) == listed.Device &&
         stx.stx_ino == listed.Inode && stx.stx_size == listed.Size &&
         UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec) == listed.LastWrite;
}

// A directory entry: the folder that holds it (by device and inode, so a
// folder reached twice through a bind mount is one folder) and its name.
struct TEntryKey {
  uint64_t device, inode;
  std::string name;
  bool operator<(const TEntryKey& o) const {
    if (device != o.device) return device < o.device;
    if (inode != o.inode) return inode < o.inode;
    return name < o.name;
  }
};

constexpr size_t kReadFailed = static_cast<size_t>(-1);

uint64_t Nanoseconds(const struct statx_timestamp& t) {
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + t.tv_nsec;
}
uint64_t Nanoseconds(const struct timespec& t) {
  return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

class TScanner {
 public:
  TScanner(TRowStore& store, const TDuplicateScanEvents& events) : store_(store), events_(events) {}

  TDuplicateScanResult Run() {
    const int n = store_.FileCount();
    for (int r = 1; r <= n; ++r) store_.ClearChecksum(r);
    lastIdle_ = std::chrono::steady_clock::now();
    ForEachRun([this](int a, int b, uint64_t size) { progress_.Total += PlannedBytes(a, b, size); });
    Report();
    ForEachRun([this](int a, int b, uint64_t size) {
      if (stop_) return;
      const uint64_t end = progress_.Done + PlannedBytes(a, b, size);
      runEnd_ = end;
      ScanRun(a, b, size);
      progress_.Done = std::max(progress_.Done, end);  // what was not read needs no reading
      Report();
    });
    // The groups in the order of their first rows; their lines as found.
    std::stable_sort(found_.begin(), found_.end(),
                     [](const Found& x, const Found& y) { return x.firstRow < y.firstRow; });
    std::vector<int> sources;
    for (const Found& f : found_) {
      sources.insert(sources.end(), f.lines.begin(), f.lines.end());
      result_.Groups.insert(result_.Groups.end(), f.lines.size(),
                            static_cast<uint32_t>(&f - found_.data()));
      for (int r : f.lines) result_.ChangeTimes.push_back(rowChanged_[r]);
    }
    store_.RebuildFrom(sources);
    store_.SetFileCount(static_cast<int32_t>(sources.size()));
    result_.Lines = static_cast<int32_t>(sources.size());
    result_.Stopped = stop_;
    return result_;
  }

 private:
  struct Found {
    int firstRow;
    std::vector<int> lines;
  };
  struct TMember {
    TFile* file;
    TFd fd;
    size_t slot;
  };

  // Calls fn(a, b, size) for every run of rows a to b (b > a) of one size
  // that takes part in the scan.
  template <class Fn>
  void ForEachRun(Fn&& fn) {
    const int n = store_.FileCount();
    for (int a = 1; a <= n;) {
      const uint64_t size = store_.HasSize(a) ? store_.Size(a) : 0;
      int b = a;
      while (b < n && (store_.HasSize(b + 1) ? store_.Size(b + 1) : 0) == size) ++b;
      if (size >= kDuplicateMinSize && b > a) fn(a, b, size);
      a = b + 1;
    }
  }

  // The bytes of the run's listed files, each file (device and inode) once.
  uint64_t PlannedBytes(int a, int b, uint64_t size) const {
    std::vector<std::pair<uint64_t, uint64_t>> ids;
    for (int r = a; r <= b; ++r) {
      TFileIdentity id;
      if (store_.Identity(r, id)) ids.push_back({id.Device, id.Inode});
    }
    std::sort(ids.begin(), ids.end());
    const auto files = static_cast<uint64_t>(std::unique(ids.begin(), ids.end()) - ids.begin());
    return files < 2 ? 0 : files * size;
  }

  void Report() {
    if (events_.Progress) *events_.Progress = progress_;
  }

  void Tick() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastIdle_ < events_.IdleEvery) return;
    lastIdle_ = now;
    if (events_.OnIdle && events_.OnIdle()) stop_ = true;
  }

  // The rows a to b have one size of at least the minimum.
  void ScanRun(int a, int b, uint64_t size) {
    std::vector<std::unique_ptr<TFile>> files;
    // One file: the same inode with the same size and time of last write.
    // The device is left out on purpose: a file seen through an overlay
    // mount has the overlay's device and the lower file's inode, and
    // deleting the lower "copy" deletes it. Two distinct files on two file
    // systems that agree in all three are merely not paired.
    std::map<std::tuple<uint64_t, uint64_t, TFileTime>, TFile*> byIdentity;
    std::set<TEntryKey> entries;
    for (int r = a; r <= b && !stop_; ++r) {
      Tick();
      TFileIdentity listed;
      if (!store_.Identity(r, listed)) continue;
      const std::string path = store_.FullPath(r);
      struct statx stx;
      TFd folder;
      std::string name;
      struct stat folderStat;
      if (!StatEntryNoLinks(path, stx, &folder, &name) || ::fstat(folder.Get(), &folderStat) != 0) {
        ++result_.PassedOver;  // gone, or cannot be reached
        continue;
      }
      // Links, FIFOs and devices are never opened.
      if (!S_ISREG(stx.stx_mode)) continue;
      // A file changed since the search is no longer the one listed.
      if (!SameIdentity(stx, listed)) {
        ++result_.PassedOver;
        continue;
      }
      // One directory entry reached through two paths (a bind mount, a path
      // listed twice) is one row: deleting "the other" would delete it.
      if (!entries.insert({static_cast<uint64_t>(folderStat.st_dev),
                           static_cast<uint64_t>(folderStat.st_ino), std::move(name)})
               .second)
        continue;
      TFile*& f = byIdentity[{listed.Inode, listed.Size, listed.LastWrite}];
      if (!f) {
        files.push_back(std::make_unique<TFile>());
        f = files.back().get();
        f->path = path;
        f->listed = listed;
        f->changed = Nanoseconds(stx.stx_ctime);
      }
      f->rows.push_back(r);
      rowChanged_[r] = Nanoseconds(stx.stx_ctime);
    }
    if (files.size() < 2 || stop_) return;
    result_.CandidateBytes += size * files.size();
    std::vector<TFile*> all;
    for (auto& f : files) all.push_back(f.get());
    for (TGroup& g : Compare(all, size, /*hashed=*/0)) Emit(g);
  }

  // Groups of identical files among files (all of the given size).
  std::vector<TGroup> Compare(const std::vector<TFile*>& files, uint64_t size, int hashed) {
    if (files.size() <= kMaxOpen) return Lockstep(files, size);
    std::vector<TGroup> out;
    if (hashed < 2) {
      // Too many to keep open: sort by a hash of the first block, then of the
      // whole content, and compare inside each bucket.
      std::unordered_map<uint64_t, std::vector<TFile*>> buckets;
      for (TFile* f : files) {
        if (stop_) return {};
        if (!HashFile(*f, hashed == 0 ? std::min<uint64_t>(size, kProbe) : size)) continue;
        buckets[f->hashA ^ (f->hashB * 31)].push_back(f);
      }
      for (auto& [key, bucket] : buckets) {
        if (bucket.size() < 2) continue;
        for (TGroup& g : Compare(bucket, size, hashed + 1)) out.push_back(std::move(g));
        if (stop_) break;
      }
      return out;
    }
    // Files of one full hash: compare them in batches with the first one.
    TGroup withFirst{{files[0]}, 0};
    std::vector<TFile*> left;
    for (size_t i = 1; i < files.size() && !stop_; i += kMaxOpen - 1) {
      std::vector<TFile*> batch{files[0]};
      for (size_t j = i; j < std::min(files.size(), i + kMaxOpen - 1); ++j)
        batch.push_back(files[j]);
      std::vector<TFile*> grouped;
      for (TGroup& g : Lockstep(batch, size)) {
        grouped.insert(grouped.end(), g.files.begin(), g.files.end());
        if (std::find(g.files.begin(), g.files.end(), files[0]) == g.files.end()) {
          out.push_back(std::move(g));  // equal among themselves, not to the first
          continue;
        }
        withFirst.accumulator = g.accumulator;
        for (TFile* f : g.files)
          if (f != files[0]) withFirst.files.push_back(f);
      }
      // Files equal to none of their batch may still equal one another.
      for (size_t j = i; j < std::min(files.size(), i + kMaxOpen - 1); ++j)
        if (std::find(grouped.begin(), grouped.end(), files[j]) == grouped.end())
          left.push_back(files[j]);
    }
    if (withFirst.files.size() >= 2) out.push_back(std::move(withFirst));
    if (left.size() >= 2 && !stop_)
      for (TGroup& g : Compare(left, size, 2)) out.push_back(std::move(g));
    return out;
  }

  // A candidate that cannot be compared (it cannot be opened or read, or it
  // is no longer the listed file) is passed over and counted once.
  void PassOver(TFile& f) {
    if (f.passedOver) return;
    f.passedOver = true;
    result_.PassedOver += static_cast<int32_t>(f.rows.size());
  }

  // Opens a candidate for reading: a regular file that is still the one
  // listed, no link followed anywhere on its path. Gives an invalid
  // descriptor for a file that cannot or may not be read.
  TFd Open(TFile& f) {
    TFd fd = OpenForReadingNoLinks(f.path);
    struct stat st;
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !SameIdentity(st, f.listed)) {
      PassOver(f);
      return TFd();
    }
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
  }

  // After the last byte: the descriptor and the path must still be the
  // listed file, unchanged since before it was read. A file replaced
  // meanwhile (another file renamed over its name) or written while it was
  // read (even with its time of last write put back) holds other bytes than
  // the ones compared.
  bool StillListed(TFile& f, int fd) {
    struct stat st;
    struct statx stx;
    if (::fstat(fd, &st) == 0 && SameIdentity(st, f.listed) && Nanoseconds(st.st_ctim) == f.changed &&
        StatEntryNoLinks(f.path, stx) && S_ISREG(stx.stx_mode) && SameIdentity(stx, f.listed) &&
        Nanoseconds(stx.stx_ctime) == f.changed)
      return true;
    PassOver(f);
    return false;
  }

  // Reads up to n bytes; fewer only at the end of the file, kReadFailed
  // when the system reports an error.
  size_t ReadFull(int fd, unsigned char* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
      const ssize_t k = ::read(fd, buf + got, n - got);
      if (k < 0) {
        if (errno == EINTR) continue;
        return kReadFailed;
      }
      if (k == 0) break;
      got += static_cast<size_t>(k);
    }
    result_.BytesRead += got;
    progress_.Done = std::min(progress_.Done + got, runEnd_);
    Report();
    return got;
  }

  bool HashFile(TFile& f, uint64_t bytes) {
    TFd fd = Open(f);
    if (fd.Get() < 0) return false;
    if (buffers_.empty()) buffers_.emplace_back(kBlock);
    THash h;
    for (uint64_t off = 0; off < bytes;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kBlock, bytes - off));
      const size_t got = ReadFull(fd.Get(), buffers_[0].data(), want);
      if (got != want) {  // unreadable, or shorter than listed
        PassOver(f);
        return false;
      }
      h.Add(buffers_[0].data(), got);
      off += got;
      Tick();
      if (stop_) return false;
    }
    f.hashA = h.a;
    f.hashB = h.b;
    return true;
  }

  std::vector<TGroup> Lockstep(const std::vector<TFile*>& files, uint64_t size) {
    while (buffers_.size() < std::min(files.size(), kMaxOpen)) buffers_.emplace_back(kBlock);
    std::vector<TMember> members;
    for (TFile* f : files) {
      TFd fd = Open(*f);
      if (fd.Get() >= 0) members.push_back({f, std::move(fd), members.size()});
    }
    std::vector<TMember*> all;
    for (TMember& m : members) all.push_back(&m);
    std::vector<TGroup> out;
    Partition(all, 0, size, 0, out);
    return out;
  }

  // Reads the members block by block from offset on and splits them where
  // their bytes differ; each set that stays equal to the end is a group.
  void Partition(std::vector<TMember*> members, uint64_t offset, uint64_t size, uint32_t acc,
                 std::vector<TGroup>& out) {
    while (members.size() >= 2 && offset < size) {
      const size_t len = static_cast<size_t>(std::min<uint64_t>(kBlock, size - offset));
      std::vector<TMember*> whole;
      for (TMember* m : members) {
        if (ReadFull(m->fd.Get(), buffers_[m->slot].data(), len) == len) {
          whole.push_back(m);
        } else {
          // Unreadable, or shortened since it was opened: no longer the listed file.
          m->fd.Reset();
          PassOver(*m->file);
        }
      }
      members.swap(whole);
      Tick();
      if (stop_ || members.size() < 2) return;
      std::vector<std::vector<TMember*>> classes;
      for (TMember* m : members) {
        bool placed = false;
        for (auto& c : classes) {
          if (std::memcmp(buffers_[c[0]->slot].data(), buffers_[m->slot].data(), len) == 0) {
            c.push_back(m);
            placed = true;
            break;
          }
        }
        if (!placed) classes.push_back({m});
      }
      offset += len;
      if (classes.size() == 1) {
        acc = XorWords(buffers_[members[0]->slot].data(), len, acc);
        continue;
      }
      // The classes go on separately, each from its own descriptors.
      std::vector<uint32_t> accs;
      for (auto& c : classes) accs.push_back(XorWords(buffers_[c[0]->slot].data(), len, acc));
      for (size_t i = 0; i < classes.size() && !stop_; ++i) {
        if (classes[i].size() < 2) {
          classes[i][0]->fd.Reset();
          continue;
        }
        Partition(classes[i], offset, size, accs[i], out);
      }
      return;
    }
    if (members.size() < 2) return;
    // Equal to the end; a file that changed or was replaced while it was
    // read is left out.
    TGroup g;
    g.accumulator = acc;
    for (TMember* m : members) {
      if (StillListed(*m->file, m->fd.Get())) g.files.push_back(m->file);
      m->fd.Reset();
    }
    if (g.files.size() >= 2) out.push_back(std::move(g));
  }

  void Emit(const TGroup& g) {
    std::vector<std::pair<int, const TFile*>> rows;
    for (const TFile* f : g.files)
      for (int r : f->rows) rows.push_back({r, f});
    std::sort(rows.begin(), rows.end());
    const int32_t checksum = ChecksumOf(g.accumulator);
    // Neighbours that are two files pair; a row whose neighbours are all the
    // same file as itself (hard links side by side) is listed once, since
    // the group holds a copy of it that is another file.
    std::vector<int> lines;
    std::vector<bool> listed(rows.size(), false);
    for (size_t i = 0; i + 1 < rows.size() && !stop_; ++i) {
      if (rows[i].second == rows[i + 1].second) continue;
      lines.push_back(rows[i].first);
      lines.push_back(rows[i + 1].first);
      listed[i] = listed[i + 1] = true;
      if (events_.OnPair && events_.OnPair(rows[i + 1].first)) stop_ = true;
    }
    if (!stop_)
      for (size_t i = 0; i < rows.size(); ++i)
        if (!listed[i]) lines.push_back(rows[i].first);
    std::stable_sort(lines.begin(), lines.end());
    for (int r : lines) store_.SetChecksum(r, checksum);
    if (!lines.empty()) found_.push_back({rows.front().first, std::move(lines)});
  }

  TRowStore& store_;
  const TDuplicateScanEvents& events_;
  TDuplicateScanResult result_;
  std::vector<Found> found_;
  std::unordered_map<int, uint64_t> rowChanged_;  // ctime of each candidate row's entry
  std::vector<std::vector<unsigned char>> buffers_;
  std::chrono::steady_clock::time_point lastIdle_;
  TDuplicateProgress progress_;
  uint64_t runEnd_ = 0;  // progress_.Done once the current run is over
  bool stop_ = false;
};

}  // namespace

TDuplicateScanResult FindDuplicates(TRowStore& store, const TDuplicateScanEvents& events) {
  return TScanner(store, events).Run();
}

int32_t FileChecksum(const std::string& path) {
  // Opened as the scan opens its candidates: never through a link, never
  // waiting on a FIFO, regular files only.
  TFd owned = OpenForReadingNoLinks(path);
  if (!owned.Valid()) RaiseErrno(errno);
  const int fd = owned.Get();
  struct stat st;
  if (::fstat(fd, &st) != 0) RaiseErrno(errno);
  if (!S_ISREG(st.st_mode)) RaiseErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
  std::vector<unsigned char> buf(kBlock);
  uint32_t acc = 0;
  size_t carry = 0;  // bytes of a word split between two reads
  for (;;) {
    const ssize_t k = ::read(fd, buf.data() + carry, buf.size() - carry);
    if (k < 0) {
      if (errno == EINTR) continue;
      RaiseErrno(errno);
    }
    if (k == 0) break;
    const size_t have = carry + static_cast<size_t>(k);
    const size_t whole = have / 4 * 4;
    acc = XorWords(buf.data(), whole, acc);
    carry = have - whole;
    std::memmove(buf.data(), buf.data() + whole, carry);
  }
  return ChecksumOf(acc);
}

}  // namespace trawlix
