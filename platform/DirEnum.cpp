#include "platform/DirEnum.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/Errors.h"

namespace trawlix {

class TFindState {
 public:
  TFolderListing listing;
  TNameMask mask;
  size_t index = 0;
};

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() = default;
TSearchRec::TSearchRec(TSearchRec&&) noexcept = default;
TSearchRec& TSearchRec::operator=(TSearchRec&&) noexcept = default;

TSearchRec::TSearchRec(const TSearchRec& o)
    : Time(o.Time), Size(o.Size), Attr(o.Attr), Name(o.Name), ExcludeAttr(o.ExcludeAttr),
      FindData(o.FindData) {}

TSearchRec& TSearchRec::operator=(const TSearchRec& o) {
  if (this != &o) {
    Time = o.Time;
    Size = o.Size;
    Attr = o.Attr;
    Name = o.Name;
    ExcludeAttr = o.ExcludeAttr;
    FindData = o.FindData;
  }
  return *this;
}

TFolderListing::~TFolderListing() { CloseHandle(); }

void TFolderListing::CloseHandle() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TFolderListing::Clear() {
  CloseHandle();
  names_.clear();
  entries_.clear();
  examined_.clear();
  examineError_ = 0;
}

void TFolderListing::Reattach(int folderFd) {
  CloseHandle();
  fd_ = folderFd;
}

bool TFolderListing::IsDotOrDotDot(size_t i) const {
  const std::string_view n = Name(i);
  return (n.size() == 1 && n[0] == '.') || (n.size() == 2 && n[0] == '.' && n[1] == '.');
}

int OpenPath(const std::string& path, int flags) {
  if (path.size() < PATH_MAX) return ::open(path.c_str(), flags, 0);
  // The folders up to the last piece are only passed through: O_PATH asks
  // for no more than the search right a whole path would need.
  int dirFd = AT_FDCWD;
  size_t pos = 0;
  std::string piece;
  while (path.size() - pos >= PATH_MAX) {
    // The longest run of whole names from pos that the system takes, with
    // its closing "/" (a leading "/" alone is the root).
    const size_t cut = path.rfind('/', pos + PATH_MAX - 2);
    if (cut == std::string::npos || cut < pos) {
      if (dirFd != AT_FDCWD) ::close(dirFd);
      errno = ENAMETOOLONG;
      return -1;
    }
    piece.assign(path, pos, cut - pos + 1);
    const int next = ::openat(dirFd, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int err = errno;
    if (dirFd != AT_FDCWD) ::close(dirFd);
    if (next < 0) {
      errno = err;
      return -1;
    }
    dirFd = next;
    pos = cut + 1;
  }
  piece.assign(path, pos, std::string::npos);
  const int fd = ::openat(dirFd, piece.empty() ? "." : piece.c_str(), flags, 0);
  const int err = errno;
  ::close(dirFd);
  errno = err;
  return fd;
}

int TFolderListing::Read(const std::string& folder) {
  Clear();
  const int fd = OpenPath(folder.empty() ? std::string(".") : folder,
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return ErrnoToErrorCode(errno);
  fd_ = fd;
  return ReadNames();
}

int TFolderListing::Read(int folderFd) {
  Clear();
  fd_ = folderFd;
  return ReadNames();
}

int TFolderListing::ReadNames() {
  alignas(8) char buf[32768];
  for (;;) {
    const ssize_t n = ::getdents64(fd_, buf, sizeof buf);
    if (n < 0) {
      const int err = errno;
      Clear();
      return ErrnoToErrorCode(err);
    }
    if (n == 0) break;
    for (ssize_t pos = 0; pos < n;) {
      const auto* d = reinterpret_cast<const struct dirent64*>(buf + pos);
      pos += d->d_reclen;
      const size_t len = std::strlen(d->d_name);
      bool isDir = d->d_type == DT_DIR;
      if (d->d_type == DT_UNKNOWN) {
        struct stat st;
        isDir = ::fstatat(fd_, d->d_name, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) == 0 &&
                S_ISDIR(st.st_mode);
      }
      entries_.push_back({static_cast<uint32_t>(names_.size()), static_cast<uint32_t>(len), isDir});
      names_.append(d->d_name, len + 1);  // with its terminator, for statx
    }
  }
  return 0;
}

int TFolderListing::Examine(size_t i, Examined& out) const {
  if (fd_ < 0) return kErrPathNotFound;
  const Entry& e = entries_[i];
  const char* name = names_.data() + e.offset;  // stored with its terminator

  struct statx stx;
  if (::statx(fd_, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_ATIME |
                  STATX_MTIME | STATX_BTIME,
              &stx) != 0) {
    const int e = errno;
    const int err = ErrnoToErrorCode(e);
    if (e != ENOENT && examineError_ == 0) examineError_ = err;
    return err;
  }

  const mode_t mode = stx.stx_mode;
  uint32_t attr = 0;
  if (S_ISDIR(mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(mode)) {
    attr |= faArchive;
    if (stx.stx_blocks * 512ULL < stx.stx_size) attr |= faSparseFile;
  } else if (S_ISLNK(mode)) {
    attr |= faReparsePoint;
  } else {
    attr |= faSysFile;
  }
  if (e.length > 0 && name[0] == '.') attr |= faHidden;
  if (!(mode & S_IWUSR)) attr |= faReadOnly;
  if ((stx.stx_attributes_mask & STATX_ATTR_COMPRESSED) &&
      (stx.stx_attributes & STATX_ATTR_COMPRESSED))
    attr |= faCompressed;
  if ((stx.stx_attributes_mask & STATX_ATTR_ENCRYPTED) &&
      (stx.stx_attributes & STATX_ATTR_ENCRYPTED))
    attr |= faEncrypted;

  out.size = S_ISDIR(mode) ? 0 : stx.stx_size;
  out.mtime = UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  out.atime = UnixToFileTime(stx.stx_atime.tv_sec, stx.stx_atime.tv_nsec);
  out.btime = (stx.stx_mask & STATX_BTIME) ? UnixToFileTime(stx.stx_btime.tv_sec, stx.stx_btime.tv_nsec)
                                           : out.mtime;
  out.time = FileTimeToDosDateTime(out.mtime);
  out.attr = attr;
  out.device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  out.inode = stx.stx_ino;
  out.state = 1;
  return 0;
}

int TFolderListing::Fill(size_t i, TSearchRec& rec) const {
  Examined local{};
  Examined* ex = &local;
  if (keepExamined_) {
    if (examined_.size() != entries_.size()) examined_.assign(entries_.size(), Examined{});
    ex = &examined_[i];
  }
  if (ex->state == 0) {
    if (const int err = Examine(i, *ex)) {
      ex->state = -1;
      return err;
    }
  }
  if (ex->state < 0) return kErrFileNotFound;

  const Entry& e = entries_[i];
  rec.Time = ex->time;
  rec.Size = ex->size;
  rec.Attr = ex->attr;
  rec.Name.assign(names_.data() + e.offset, e.length);
  TFindData& fd = rec.FindData;
  fd.dwFileAttributes = ex->attr;
  fd.ftCreationTime = ex->btime;
  fd.ftLastAccessTime = ex->atime;
  fd.ftLastWriteTime = ex->mtime;
  fd.nFileSizeHigh = static_cast<uint32_t>(ex->size >> 32);
  fd.nFileSizeLow = static_cast<uint32_t>(ex->size);
  fd.cFileName = rec.Name;
  fd.cAlternateFileName.clear();
  fd.Device = ex->device;
  fd.Inode = ex->inode;
  return 0;
}

int TFolderListing::FindNext(size_t& index, const TNameMask& mask, uint32_t excludeAttr,
                             TSearchRec& rec, bool skipDots) const {
  const bool all = mask.MatchesEverything();
  const bool skipDirs = excludeAttr & faDirectory;
  for (; index < entries_.size(); ++index) {
    if (skipDirs && entries_[index].isDir) continue;
    if (skipDots && IsDotOrDotDot(index)) continue;
    if (!all && !mask.Matches(Name(index))) continue;
    if (Fill(index, rec) != 0) continue;  // vanished since it was listed
    if (rec.Attr & excludeAttr) continue;
    return 0;
  }
  return kErrNoMoreFiles;
}

int FirstEntry(const std::string& pattern, uint32_t attrMask, TSearchRec& rec) {
  EndEntries(rec);
  rec.ExcludeAttr = ~attrMask & 0x1E;
  const size_t slash = pattern.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  const std::string mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (mask.empty()) return kErrFileNotFound;

  auto state = std::make_unique<TFindState>();
  if (const int err = state->listing.Read(folder)) return err;
  state->mask = TNameMask(mask);
  if (state->listing.FindNext(state->index, state->mask, rec.ExcludeAttr, rec) != 0)
    return kErrFileNotFound;
  rec.FindHandle = std::move(state);
  return 0;
}

int NextEntry(TSearchRec& rec) {
  if (!rec.FindHandle) return kErrNoMoreFiles;
  TFindState& s = *rec.FindHandle;
  ++s.index;
  const int err = s.listing.FindNext(s.index, s.mask, rec.ExcludeAttr, rec);
  if (err) EndEntries(rec);
  return err;
}

void EndEntries(TSearchRec& rec) { rec.FindHandle.reset(); }

}  // namespace trawlix
