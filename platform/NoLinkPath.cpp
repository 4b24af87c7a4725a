#include "platform/NoLinkPath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

namespace trawlix {

void TUniqueFd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// openat2 is tried until the kernel (or a sandbox) says it has none.
std::atomic<bool> haveOpenat2{true};

bool IsDotPart(std::string_view part) { return part == "." || part == ".."; }

// Opens the folders named by rel (relative, "/"-separated, no "." or ".."
// parts, shorter than the path limit) from dirfd on, none through a link.
int OpenFoldersBelow(int dirfd, const std::string& rel) {
  if (haveOpenat2.load(std::memory_order_relaxed)) {
    open_how how{};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, dirfd, rel.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
    if (errno == ENOSYS) haveOpenat2.store(false, std::memory_order_relaxed);
  }
  // One part at a time: O_NOFOLLOW with O_DIRECTORY refuses a link.
  TUniqueFd cur(::fcntl(dirfd, F_DUPFD_CLOEXEC, 0));
  if (!cur.Valid()) return -1;
  size_t at = 0;
  while (at < rel.size()) {
    size_t end = rel.find('/', at);
    if (end == std::string::npos) end = rel.size();
    if (end > at) {
      const std::string part = rel.substr(at, end - at);
      const int next = ::openat(cur.Get(), part.c_str(), kFolderFlags | O_NOFOLLOW);
      if (next < 0) return -1;
      cur.Reset(next);
    }
    at = end + 1;
  }
  return cur.Release();
}

}  // namespace

TUniqueFd OpenParentNoLinks(std::string_view path, std::string& leaf) {
  leaf.clear();
  const size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == path.size() - 1 ||
      IsDotPart(path.substr(slash + 1))) {
    errno = EINVAL;
    return TUniqueFd();
  }
  const std::string_view folders = path.substr(1, slash == 0 ? 0 : slash - 1);
  TUniqueFd cur(::open("/", kFolderFlags));
  if (!cur.Valid()) return TUniqueFd();
  // Pieces shorter than the path limit, cut at a "/", each opened relative
  // to the folder the one before reached.
  constexpr size_t kPiece = PATH_MAX - 256;
  size_t at = 0;
  while (at < folders.size()) {
    size_t end = std::min(folders.size(), at + kPiece);
    if (end < folders.size()) {
      const size_t cut = folders.rfind('/', end);
      end = (cut == std::string_view::npos || cut <= at) ? folders.find('/', at) : cut;
      if (end == std::string_view::npos) end = folders.size();
    }
    const std::string piece(folders.substr(at, end - at));
    for (size_t p = 0; p <= piece.size();) {
      size_t q = piece.find('/', p);
      if (q == std::string::npos) q = piece.size();
      if (IsDotPart(std::string_view(piece).substr(p, q - p))) {
        errno = EINVAL;
        return TUniqueFd();
      }
      p = q + 1;
    }
    if (!piece.empty()) {
      const int next = OpenFoldersBelow(cur.Get(), piece);
      if (next < 0) return TUniqueFd();
      cur.Reset(next);
    }
    at = end + 1;
  }
  leaf.assign(path.substr(slash + 1));
  return cur;
}

bool StatEntryNoLinks(std::string_view path, struct statx& stx, TUniqueFd* parent,
                      std::string* leafOut) {
  std::string leaf;
  TUniqueFd dir = OpenParentNoLinks(path, leaf);
  if (!dir.Valid()) return false;
  if (::statx(dir.Get(), leaf.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME,
              &stx) != 0)
    return false;
  if (parent) *parent = std::move(dir);
  if (leafOut) *leafOut = std::move(leaf);
  return true;
}

TUniqueFd OpenForReadingNoLinks(std::string_view path) {
  std::string leaf;
  TUniqueFd dir = OpenParentNoLinks(path, leaf);
  if (!dir.Valid()) return TUniqueFd();
  return TUniqueFd(::openat(dir.Get(), leaf.c_str(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

}  // namespace trawlix
