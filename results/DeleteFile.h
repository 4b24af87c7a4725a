// Deleting the file of a listed row.
//
// The deletion acts on the stored bytes of the row's path and removes the
// directory entry itself: a symbolic link goes, never what it points to. It
// refuses, without a word like every failed deletion, a blank row, a folder,
// a read-only file (the owner has no write permission), and an entry that is
// no longer the file the search listed: another device or inode, another
// size or another time of the last write. Such a file was replaced or
// changed after the search, and the user never saw what it holds now.
//
// Called from the window's thread; reads the store only.
#pragma once

#include <string>

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

// Deletes the file of the row; true when it was deleted. The store is not
// changed: blanking the row is the caller's part.
bool DeleteListedFile(const TRowStore& store, int row);

}  // namespace trawlix
