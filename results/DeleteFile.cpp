#include "results/DeleteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "platform/FileTime.h"
#include "platform/NoLinkPath.h"

namespace trawlix {

namespace {

TEntryState StateOf(const struct statx& stx) {
  // Read as the walk's statx was, so device numbers and times compare alike.
  TEntryState state;
  state.isFolder = S_ISDIR(stx.stx_mode);
  state.ownerWritable = (stx.stx_mode & S_IWUSR) != 0 || S_ISLNK(stx.stx_mode);
  state.identity.Device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  state.identity.Inode = stx.stx_ino;
  state.identity.Size = state.isFolder ? 0 : stx.stx_size;
  state.identity.LastWrite = UnixToFileTime(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  return state;
}

bool SameFile(const TFileIdentity& a, const TFileIdentity& b) {
  return a.Device == b.Device && a.Inode == b.Inode;
}

// True when a row of the group other than `row` names an entry of another
// file that is still exactly what the scan compared. The rows of a group
// stand together in the duplicate view.
bool HasVerifiedCopy(const TRowStore& store, const std::vector<uint32_t>& groups, int row,
                     const TFileIdentity& self) {
  const int n = static_cast<int>(groups.size());
  if (row < 1 || row > n) return false;
  const uint32_t group = groups[row - 1];
  int first = row, last = row;
  while (first > 1 && groups[first - 2] == group) --first;
  while (last < n && groups[last] == group) ++last;
  for (int r = first; r <= last; ++r) {
    TFileIdentity other;
    if (r == row || !store.Identity(r, other) || SameFile(other, self)) continue;
    TEntryState now;
    if (ReadEntryState(store.FullPath(r), now) && IsListedFile(now, other)) return true;
  }
  return false;
}

}  // namespace

bool ReadEntryState(const std::string& path, TEntryState& state) {
  struct statx stx;
  if (!StatEntryNoLinks(path, stx)) return false;
  state = StateOf(stx);
  return true;
}

bool IsListedFile(const TEntryState& state, const TFileIdentity& listed) {
  const TFileIdentity& now = state.identity;
  return !state.isFolder && SameFile(now, listed) && now.Size == listed.Size &&
         now.LastWrite == listed.LastWrite;
}

TDeleteOutcome DeleteRowFile(const TRowStore& store, int row, const std::vector<uint32_t>* groups) {
  TFileIdentity listed;
  if (!store.Identity(row, listed)) return TDeleteOutcome::Refused;  // a blank row
  struct statx stx;
  TUniqueFd folder;
  std::string name;
  if (!StatEntryNoLinks(store.FullPath(row), stx, &folder, &name)) return TDeleteOutcome::Refused;
  const TEntryState state = StateOf(stx);
  if (state.isFolder) return TDeleteOutcome::Refused;
  if (!IsListedFile(state, listed)) return TDeleteOutcome::Changed;
  if (!state.ownerWritable) return TDeleteOutcome::Refused;
  if (groups && !HasVerifiedCopy(store, *groups, row, listed)) return TDeleteOutcome::LastCopy;
  // Relative to the folder checked above: only the last name can still change.
  if (::unlinkat(folder.Get(), name.c_str(), 0) != 0) return TDeleteOutcome::Refused;
  return TDeleteOutcome::Deleted;
}

std::string FileChangedSinceSearchText(std::string_view path) {
  return "Die Datei \"" + std::string(path) +
         "\" wurde nach der Suche geändert oder ersetzt und wird nicht gelöscht.";
}

std::string LastCopyText(std::string_view path) {
  return "Die Datei \"" + std::string(path) +
         "\" wird nicht gelöscht: Es gibt keine andere unveränderte Kopie mit demselben Inhalt mehr.";
}

bool DeleteListedFile(const TRowStore& store, int row) {
  return DeleteRowFile(store, row) == TDeleteOutcome::Deleted;
}

}  // namespace trawlix
