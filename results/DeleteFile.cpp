#include "results/DeleteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/FileTime.h"

namespace trawlix {

bool ReadEntryState(const std::string& path, TEntryState& state) {
  // statx as the walk used it, so device numbers and times compare alike.
  struct statx stx;
  if (path.empty() ||
      ::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME, &stx) != 0)
    return false;
  state.isFolder = S_ISDIR(stx.stx_mode);
  state.ownerWritable = (stx.stx_mode & S_IWUSR) != 0 || S_ISLNK(stx.stx_mode);
  state.identity.Device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  state.identity.Inode = stx.stx_ino;
  state.identity.Size = state.isFolder ? 0 : stx.stx_size;
  state.identity.LastWrite = UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  return true;
}

bool IsListedFile(const TEntryState& state, const TFileIdentity& listed) {
  const TFileIdentity& now = state.identity;
  return !state.isFolder && now.Device == listed.Device && now.Inode == listed.Inode &&
         now.Size == listed.Size && now.LastWrite == listed.LastWrite;
}

bool DeleteListedFile(const TRowStore& store, int row) {
  TFileIdentity listed;
  if (!store.Identity(row, listed)) return false;  // a blank row
  const std::string path = store.FullPath(row);
  TEntryState state;
  if (!ReadEntryState(path, state)) return false;
  if (!IsListedFile(state, listed) || !state.ownerWritable) return false;
  return ::unlink(path.c_str()) == 0;
}

}  // namespace trawlix
