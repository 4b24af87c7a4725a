// Puts a real file into a row store as the walk would list it: folder and
// name split at the last "/", identity from lstat (link not followed).
#pragma once

#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "platform/FileTime.h"
#include "results/RowStore.h"

namespace trawlix::test {

inline void ListFile(TRowStore& store, int row, const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) throw std::runtime_error("cannot list " + path);
  const size_t slash = path.rfind('/');
  const TFileIdentity id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                         static_cast<uint64_t>(st.st_size),
                         UnixToFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
  store.SetRow(row, path.substr(0, slash + 1), path.substr(slash + 1),
               FileTimeToDosDateTime(id.LastWrite), id);
  if (store.FileCount() < row) store.SetFileCount(row);
}

}  // namespace trawlix::test
