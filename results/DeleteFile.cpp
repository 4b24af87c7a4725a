#include "results/DeleteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gio/gio.h>

#include <algorithm>
#include <map>

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
  state.changed = static_cast<uint64_t>(stx.stx_ctime.tv_sec) * 1000000000u + stx.stx_ctime.tv_nsec;
  return state;
}

bool SameInode(const TFileIdentity& a, const TFileIdentity& b) {
  return a.Device == b.Device && a.Inode == b.Inode;
}

// Whether two rows may be one file: the same inode, or the same inode number
// with the same size and time of last write on another device (a file and
// its view through an overlay mount).
bool MaybeSameFile(const TFileIdentity& a, const TFileIdentity& b) {
  return a.Inode == b.Inode &&
         (a.Device == b.Device || (a.Size == b.Size && a.LastWrite == b.LastWrite));
}

// True when the path lies in a trash folder (the home trash's files/, or a
// file system's .Trash-UID/files/ or .Trash/UID/files/). A copy there is on
// its way out: it never counts as the copy that is kept.
bool InTrash(std::string_view path) {
  const size_t files = path.find("/files/");
  for (size_t at = files; at != std::string_view::npos; at = path.find("/files/", at + 1)) {
    const std::string_view before = path.substr(0, at);
    const size_t slash = before.rfind('/');
    const std::string_view folder = before.substr(slash == std::string_view::npos ? 0 : slash + 1);
    if (folder == "Trash" || folder.rfind(".Trash-", 0) == 0) return true;
    const size_t up = (slash == std::string_view::npos || slash == 0) ? std::string_view::npos
                                                                      : before.rfind('/', slash - 1);
    if (up != std::string_view::npos && before.substr(up + 1, slash - up - 1) == ".Trash") return true;
  }
  return false;
}

// True when a row of the group other than `row` names an entry of another
// file that is still exactly what the scan compared, outside any trash. The rows of a group
// stand together in the duplicate view.
bool HasVerifiedCopy(const TRowStore& store, const TDuplicateScanResult& view, int row,
                     const TFileIdentity& self) {
  const std::vector<uint32_t>& groups = view.Groups;
  const int n = static_cast<int>(std::min(groups.size(), view.ChangeTimes.size()));
  if (row < 1 || row > n) return false;
  const uint32_t group = groups[row - 1];
  int first = row, last = row;
  while (first > 1 && groups[first - 2] == group) --first;
  while (last < n && groups[last] == group) ++last;
  for (int r = first; r <= last; ++r) {
    TFileIdentity other;
    if (r == row || !store.Identity(r, other) || MaybeSameFile(other, self)) continue;
    if (InTrash(store.FullPath(r))) continue;
    TEntryState now;
    if (ReadEntryState(store.FullPath(r), now) && IsListedFile(now, other) &&
        now.changed == view.ChangeTimes[r - 1])
      return true;
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
  return !state.isFolder && SameInode(now, listed) && now.Size == listed.Size &&
         now.LastWrite == listed.LastWrite;
}

namespace {

// The entry a row names, once it has passed the checks: the folder that
// holds it (reached without links) and its last name.
struct TCheckedEntry {
  TUniqueFd folder;
  std::string leaf;
  TFileIdentity listed;
};

// The checks deleting and trashing share. Deleted means the entry may go.
TDeleteOutcome CheckRowForRemoval(const TRowStore& store, int row, const TDuplicateScanResult* view,
                                  TCheckedEntry& entry) {
  if (!store.Identity(row, entry.listed)) return TDeleteOutcome::Refused;  // a blank row
  struct statx stx;
  if (!StatEntryNoLinks(store.FullPath(row), stx, &entry.folder, &entry.leaf))
    return TDeleteOutcome::Refused;
  const TEntryState state = StateOf(stx);
  if (state.isFolder) return TDeleteOutcome::Refused;
  if (!IsListedFile(state, entry.listed)) return TDeleteOutcome::Changed;
  if (!state.ownerWritable) return TDeleteOutcome::Refused;
  if (view && !HasVerifiedCopy(store, *view, row, entry.listed)) return TDeleteOutcome::LastCopy;
  return TDeleteOutcome::Deleted;
}

bool SameFolder(int a, int b) {
  struct stat sa, sb;
  return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The room a trash record (and a new trash folder) may need.
constexpr uint64_t kTrashRecordRoom = 64 * 1024;

TDeleteOutcome MoveToTrash(const std::string& path, const TCheckedEntry& entry, std::string* error) {
  // gio renames by path and would follow a link put in a folder's place:
  // right before it, the path must still reach the checked folder without
  // links and name the listed file.
  struct statx stx;
  TUniqueFd folder;
  std::string leaf;
  if (!StatEntryNoLinks(path, stx, &folder, &leaf) || leaf != entry.leaf ||
      !SameFolder(folder.Get(), entry.folder.Get()))
    return TDeleteOutcome::Refused;
  if (!IsListedFile(StateOf(stx), entry.listed)) return TDeleteOutcome::Changed;
  // gio moves the file first and writes its .trashinfo after, without
  // checking that write: on a full file system the file would sit in the
  // trash with no record of where it came from, and could not be restored.
  // The record lives on the file's own file system (its trash, or the home
  // trash when that is the same one), so room is asked for there.
  struct statvfs room;
  if (::fstatvfs(folder.Get(), &room) == 0) {
    const bool root = ::geteuid() == 0;
    const uint64_t bytes = static_cast<uint64_t>(root ? room.f_bfree : room.f_bavail) * room.f_frsize;
    const uint64_t inodes = root ? room.f_ffree : room.f_favail;
    if (bytes < kTrashRecordRoom || (room.f_files != 0 && inodes < 2)) {
      if (error) *error = "Zu wenig Speicherplatz";
      return TDeleteOutcome::TrashFailed;
    }
  }
  GFile* file = g_file_new_for_path(path.c_str());  // the bytes as they are
  GError* failure = nullptr;
  const bool moved = g_file_trash(file, nullptr, &failure);
  g_object_unref(file);
  if (moved) return TDeleteOutcome::Deleted;
  if (error) *error = failure && failure->message ? failure->message : "";
  if (failure) g_error_free(failure);
  return TDeleteOutcome::TrashFailed;
}

}  // namespace

TDeleteOutcome RemoveRowFile(const TRowStore& store, int row, const TDuplicateScanResult* view,
                             TRemoval how, std::string* error) {
  TCheckedEntry entry;
  const TDeleteOutcome checked = CheckRowForRemoval(store, row, view, entry);
  if (checked != TDeleteOutcome::Deleted) return checked;
  if (how == TRemoval::Trash) return MoveToTrash(store.FullPath(row), entry, error);
  // Relative to the folder checked above: only the last name can still change.
  if (::unlinkat(entry.folder.Get(), entry.leaf.c_str(), 0) != 0) return TDeleteOutcome::Refused;
  return TDeleteOutcome::Deleted;
}

TDeleteOutcome DeleteRowFile(const TRowStore& store, int row, const TDuplicateScanResult* view) {
  return RemoveRowFile(store, row, view, TRemoval::Delete);
}

TDeleteOutcome TrashRowFile(const TRowStore& store, int row, const TDuplicateScanResult* view,
                            std::string* error) {
  return RemoveRowFile(store, row, view, TRemoval::Trash, error);
}

TKeepFirstPlan PlanKeepFirst(const TRowStore& store, const std::vector<uint32_t>& groups) {
  TKeepFirstPlan plan;
  const int n = std::min(store.FileCount(), static_cast<int>(groups.size()));
  for (int first = 1; first <= n;) {
    int last = first;
    while (last < n && groups[last] == groups[first - 1]) ++last;
    // The paths of the group in row order; the first listed one stays.
    std::map<std::string, size_t> planned;  // path -> item, or kKept for the kept one
    constexpr size_t kKept = static_cast<size_t>(-1);
    for (int r = first; r <= last; ++r) {
      TFileIdentity id;
      if (!store.Identity(r, id)) continue;
      const std::string path = store.FullPath(r);
      if (InTrash(path)) continue;  // never the kept copy, and already in a trash
      if (planned.empty()) {
        planned[path] = kKept;
        continue;
      }
      const auto [it, added] = planned.emplace(path, plan.items.size());
      if (!added) {
        if (it->second != kKept) plan.items[it->second].sameEntry.push_back(r);
        continue;
      }
      plan.items.push_back({r, {}, id.Size});
      plan.bytes += id.Size;
    }
    first = last + 1;
  }
  return plan;
}

namespace {
const char* Verb(TRemoval how) {
  return how == TRemoval::Trash ? "in den Papierkorb verschoben" : "gelöscht";
}
}  // namespace

std::string FileChangedSinceSearchText(std::string_view path, TRemoval how) {
  return "Die Datei \"" + std::string(path) + "\" wurde nach der Suche geändert oder ersetzt und wird nicht " +
         Verb(how) + ".";
}

std::string LastCopyText(std::string_view path, TRemoval how) {
  return "Die Datei \"" + std::string(path) + "\" wird nicht " + Verb(how) +
         ": Es gibt keine andere unveränderte Kopie mit demselben Inhalt mehr.";
}

std::string TrashFailedText(std::string_view path, std::string_view reason) {
  std::string text = "Die Datei \"" + std::string(path) + "\" konnte nicht in den Papierkorb verschoben werden";
  if (!reason.empty()) text += ": " + std::string(reason);
  if (text.back() != '.') text += '.';
  return text;
}

bool DeleteListedFile(const TRowStore& store, int row) {
  return DeleteRowFile(store, row) == TDeleteOutcome::Deleted;
}

}  // namespace trawlix
