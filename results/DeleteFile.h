// Deleting the file of a listed row, or moving it to the desktop's trash.
//
// The deletion acts on the stored bytes of the row's path and removes the
// directory entry itself: a symbolic link goes, never what it points to.
// The folders of the path are opened one by one without following links and
// the entry is checked and removed relative to the folder that holds it, so
// a folder swapped for a link meanwhile cannot send the deletion elsewhere.
//
// It refuses, silently like the deletion it replaces, a blank row, a missing
// entry, a folder and a read-only file (the owner has no write permission).
// It refuses and says so (the caller shows a message naming the file) an
// entry that is no longer the file the search listed: another device or
// inode, another size or another time of the last write. Such a file was
// replaced or changed after the search, and the user never saw what it
// holds now. In the duplicate view it also refuses the last verified copy:
// a row goes only while another row of its group names another file (not
// the same inode, nor the same inode seen through an overlay with the same
// size and time) that is still exactly what the scan compared: the listed
// identity and the time of the last status change the scan saw.
//
// Moving to the trash makes the same checks and then hands the path to
// GLib's gio (the freedesktop.org trash: the home trash for files on the
// home folder's file system, the trash folder at the top of another file
// system otherwise), which keeps the name's exact bytes for restoring. gio
// renames by path, following links on the way, so the path is checked again
// without following links right before the move and must still reach the
// checked folder: only a swap in the moment between that check and the
// rename remains.
//
// Called from the window's thread; reads the store only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "results/Duplicates.h"
#include "results/RowStore.h"

namespace trawlix {

// What the entry at a path is now, its link not followed. False when there
// is no entry. isFolder and ownerWritable tell what a deletion must know.
struct TEntryState {
  TFileIdentity identity;
  bool isFolder = false;
  bool ownerWritable = false;
  uint64_t changed = 0;  // ctime in nanoseconds since 1970
};
bool ReadEntryState(const std::string& path, TEntryState& state);

// True when the entry at path is the listed file: same device, inode, size
// and exact time of the last write.
bool IsListedFile(const TEntryState& state, const TFileIdentity& listed);

enum class TDeleteOutcome {
  Deleted,      // the entry is gone (deleted, or moved to the trash)
  Refused,      // blank row, missing entry, folder, read-only, or the system said no
  Changed,      // the entry is no longer the listed file
  LastCopy,     // duplicate view: no other verified copy of the group is left
  TrashFailed,  // the checks passed but the trash took nothing (no trash there, not writable)
};

// What happens to an entry that passed the checks.
enum class TRemoval { Delete, Trash };

// Deletes the row's file or moves it to the trash, after the checks above.
// view as for DeleteRowFile. For TrashFailed, error receives the system's
// reason when asked for.
TDeleteOutcome RemoveRowFile(const TRowStore& store, int row, const TDuplicateScanResult* view,
                             TRemoval how, std::string* error = nullptr);

// Deletes the file of the row. view is the scan that made the duplicate
// view (its groups and the change times it compared), or null in the list
// view. The store is not changed: blanking the row is the caller's part.
TDeleteOutcome DeleteRowFile(const TRowStore& store, int row,
                             const TDuplicateScanResult* view = nullptr);

// Keeping one file of each group of the duplicate view: every group keeps
// its first listed row (in the view's order; a blank row does not count) and
// the file of every other row goes. A row that names the same path as an
// earlier row of its group (the middle copy of three shows twice) is the
// same directory entry: it is planned once, with the rows that share it,
// and a row naming the kept row's path is kept with it.
struct TKeepFirstItem {
  int row = 0;                 // the row to move
  std::vector<int> sameEntry;  // further rows naming the same path
  uint64_t size = 0;
};
struct TKeepFirstPlan {
  std::vector<TKeepFirstItem> items;
  uint64_t bytes = 0;
};
TKeepFirstPlan PlanKeepFirst(const TRowStore& store, const std::vector<uint32_t>& groups);

// Moves the file of the row to the trash (RemoveRowFile with Trash).
TDeleteOutcome TrashRowFile(const TRowStore& store, int row, const TDuplicateScanResult* view = nullptr,
                            std::string* error = nullptr);

// The messages for the refusals the user is told of; path as drawn. The
// verb says what was refused: deleting, or moving to the trash.
std::string FileChangedSinceSearchText(std::string_view path, TRemoval how = TRemoval::Delete);
std::string LastCopyText(std::string_view path, TRemoval how = TRemoval::Delete);
std::string TrashFailedText(std::string_view path, std::string_view reason);

// The list view's deletion; true when the file was deleted.
bool DeleteListedFile(const TRowStore& store, int row);

}  // namespace trawlix
