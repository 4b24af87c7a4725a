// Deleting the file of a listed row.
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
// a row goes only while another row of its group names an entry of another
// device or inode that is still exactly the file the scan compared.
//
// Called from the window's thread; reads the store only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "results/RowStore.h"

namespace trawlix {

// What the entry at a path is now, its link not followed. False when there
// is no entry. isFolder and ownerWritable tell what a deletion must know.
struct TEntryState {
  TFileIdentity identity;
  bool isFolder = false;
  bool ownerWritable = false;
};
bool ReadEntryState(const std::string& path, TEntryState& state);

// True when the entry at path is the listed file: same device, inode, size
// and exact time of the last write.
bool IsListedFile(const TEntryState& state, const TFileIdentity& listed);

enum class TDeleteOutcome {
  Deleted,   // the entry is gone
  Refused,   // blank row, missing entry, folder, read-only, or the system said no
  Changed,   // the entry is no longer the listed file
  LastCopy,  // duplicate view: no other verified copy of the group is left
};

// Deletes the file of the row. groups is the duplicate view's group of each
// row (groups[row - 1]; see TDuplicateScanResult), or null in the list
// view. The store is not changed: blanking the row is the caller's part.
TDeleteOutcome DeleteRowFile(const TRowStore& store, int row,
                             const std::vector<uint32_t>* groups = nullptr);

// The messages for the refusals the user is told of; path as drawn.
std::string FileChangedSinceSearchText(std::string_view path);
std::string LastCopyText(std::string_view path);

// The list view's deletion; true when the file was deleted.
bool DeleteListedFile(const TRowStore& store, int row);

}  // namespace trawlix
