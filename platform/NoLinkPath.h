// Reaching a stored path without following symbolic links.
//
// A listed row names its file by the bytes of an absolute path. Acting on it
// (deleting, reading its content) must reach exactly that directory entry:
// a folder of the path that was replaced by a symbolic link since the search
// must stop the command, not redirect it. These helpers open the folders of
// a path one by one, refusing every link on the way, and leave the last name
// to be handled relative to the folder that holds it (fstatat, openat,
// unlinkat), so only the race on that last name remains.
//
// They work for paths of any length: a path longer than the system's limit
// is opened in pieces, each relative to the folder reached before it.
//
// Thread-safe; no state.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace trawlix {

// A file descriptor that closes itself.
class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) : fd_(fd) {}
  ~TUniqueFd() { Reset(); }
  TUniqueFd(TUniqueFd&& o) noexcept : fd_(o.Release()) {}
  TUniqueFd& operator=(TUniqueFd&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Opens the folder that holds the last name of an absolute path, every
// folder on the way opened without following a symbolic link, and gives
// that last name in leaf. The descriptor is an O_PATH descriptor, good as
// the folder argument of the *at calls. On failure it is invalid and errno
// tells why (ELOOP or ENOTDIR for a link on the way, ENOENT, EACCES ...);
// a relative path, an empty last name or a "." or ".." part give EINVAL.
TUniqueFd OpenParentNoLinks(std::string_view path, std::string& leaf);

// What the entry at path is now, its link not followed: statx relative to
// the folder OpenParentNoLinks gives, without triggering an automount (type,
// mode, inode, size, the times of the last write and the last change).
// False with errno set when there is no such entry or it cannot be reached.
// The folder descriptor is handed out in parent when asked for.
bool StatEntryNoLinks(std::string_view path, struct statx& stx, TUniqueFd* parent = nullptr,
                      std::string* leaf = nullptr);

// Opens the entry at path for reading: no link followed anywhere on the
// path; non-blocking, so a FIFO or device never makes the caller wait (the
// flag changes nothing for a regular file); close-on-exec. The caller
// checks with fstat that it opened a regular file before it reads.
TUniqueFd OpenForReadingNoLinks(std::string_view path);

}  // namespace trawlix
