// Directory enumeration: FirstEntry, NextEntry and EndEntries over readdir
// and statx, filling the directory entry record TSearchRec.
//
// A folder is read once into a TFolderListing (names and entry types); the
// entries a pass asks for are examined with statx relative to the open
// folder, never following symbolic links. Several passes may be served from
// one listing, which is what the folder walk does.
//
// Attribute bits: 0x10 directory (a real directory only), 0x02 hidden (the
// name begins with "."), 0x01 read-only (the owner has no write permission),
// 0x04 system (neither a regular file, a directory nor a symbolic link),
// 0x20 archive (a regular file), 0x400 reparse point (a symbolic link),
// 0x200 sparse (fewer bytes allocated than the size), 0x800 compressed and
// 0x4000 encrypted where statx reports them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileTime.h"
#include "platform/Mask.h"

namespace trawlix {

enum : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faTemporary = 0x100,
  faSparseFile = 0x200,
  faReparsePoint = 0x400,
  faCompressed = 0x800,
  faOffline = 0x1000,
  faEncrypted = 0x4000,
  faAnyFile = 0x3F,
};

// The platform's find record of an entry.
struct TFindData {
  uint32_t dwFileAttributes = 0;
  TFileTime ftCreationTime = 0;
  TFileTime ftLastAccessTime = 0;
  TFileTime ftLastWriteTime = 0;
  uint32_t nFileSizeHigh = 0;
  uint32_t nFileSizeLow = 0;
  uint32_t dwReserved0 = 0;
  uint32_t dwReserved1 = 0;
  std::string cFileName;
  std::string cAlternateFileName;  // always empty: there are no short names
  // Who the entry is, as statx gave it: a listed file is recognised by these
  // (with its size and time of last write) before it is read or deleted.
  uint64_t Device = 0;
  uint64_t Inode = 0;
};

class TFindState;

// One entry of a directory enumeration. Copying a record copies its fields
// but not the open enumeration, which stays with the original.
struct TSearchRec {
  int32_t Time = 0;       // packed DOS date-time of the last write, local time
  uint64_t Size = 0;      // size in bytes (0 for folders)
  uint32_t Attr = 0;      // attribute bits
  std::string Name;       // name without folder, the bytes as stored
  uint32_t ExcludeAttr = 0;
  std::unique_ptr<TFindState> FindHandle;
  TFindData FindData;

  TSearchRec();
  ~TSearchRec();
  TSearchRec(const TSearchRec& other);
  TSearchRec& operator=(const TSearchRec& other);
  TSearchRec(TSearchRec&&) noexcept;
  TSearchRec& operator=(TSearchRec&&) noexcept;
};

// The names of one folder, read once.
class TFolderListing {
 public:
  TFolderListing() = default;
  ~TFolderListing();
  TFolderListing(const TFolderListing&) = delete;
  TFolderListing& operator=(const TFolderListing&) = delete;

  // Reads the folder's names ("." and ".." included), its path of any
  // length. Returns 0 or an error code (2 missing, 3 not a folder, 5 access
  // denied ...). The folder stays open for Fill until CloseHandle or the
  // next Read.
  int Read(const std::string& folder);
  // The same for a folder the caller opened (O_DIRECTORY); the listing takes
  // the descriptor over and closes it, also when the reading fails.
  int Read(int folderFd);
  void CloseHandle();
  void Clear();

  // The open folder, or -1 once closed.
  int Handle() const { return fd_; }
  // Gives the listing a new descriptor of the same folder (the caller opened
  // it again and checked that it is the same one); the names stay.
  void Reattach(int folderFd);

  // With keep, an entry examined once is not examined again for the next
  // pass that selects it (several masks of one folder): its record comes
  // from what the first examination found. Cleared with the listing.
  void KeepExamined(bool keep) { keepExamined_ = keep; }

  size_t Count() const { return entries_.size(); }
  std::string_view Name(size_t i) const {
    return std::string_view(names_).substr(entries_[i].offset, entries_[i].length);
  }
  // A real directory (symbolic links to folders are not).
  bool IsDirectory(size_t i) const { return entries_[i].isDir; }
  bool IsDotOrDotDot(size_t i) const;

  // Examines entry i (statx relative to the open folder, never following a
  // link, never mounting) and fills rec (not its enumeration state). Returns
  // 0, or an error code when the entry cannot be examined (it vanished, or
  // the folder is closed).
  int Fill(size_t i, TSearchRec& rec) const;

  // Moves index to the next entry from index on that the mask selects and
  // whose attributes share no bit with excludeAttr, fills rec and returns 0;
  // returns kErrNoMoreFiles when none remains. With skipDots, "." and ".."
  // are passed over without being examined. When excludeAttr holds the
  // directory bit, entries the reading already knows to be directories are
  // passed over without being examined.
  int FindNext(size_t& index, const TNameMask& mask, uint32_t excludeAttr, TSearchRec& rec,
               bool skipDots = false) const;

  // The error code of the first examination since the last Read that failed
  // for another reason than the entry having vanished (5: the folder may be
  // read but its entries not examined); 0 when there was none.
  int ExamineError() const { return examineError_; }

 private:
  struct Entry {
    uint32_t offset;
    uint32_t length;
    bool isDir;
  };
  // What one examination of an entry found.
  struct Examined {
    uint64_t size;
    uint64_t device, inode;
    TFileTime mtime, atime, btime;
    int32_t time;
    uint32_t attr;
    int8_t state;  // 0 not yet examined, 1 examined, -1 could not be examined
  };
  int ReadNames();
  int Examine(size_t i, Examined& out) const;

  int fd_ = -1;
  std::string names_;
  std::vector<Entry> entries_;
  bool keepExamined_ = false;
  mutable std::vector<Examined> examined_;
  mutable int examineError_ = 0;
};

// Opens path (absolute, or relative to the current folder) with open(2)'s
// flags, resolving it as the system resolves a path (links in its folders
// followed), also when it is longer than the system takes in one call: such
// a path is opened piece by piece, each piece a run of whole folder names
// shorter than the limit. Returns the descriptor, or -1 with errno set
// (ENAMETOOLONG only for a single name beyond the system's name limit).
int OpenPath(const std::string& path, int flags);

// Opens an enumeration of Pattern (a folder path followed by a file-name
// mask) that passes over entries carrying any of the bits
// (NOT attrMask) AND 0x1E, and fills rec with the first entry. Returns 0, or
// the error code when the folder cannot be read or no entry is selected; the
// enumeration is then closed.
int FirstEntry(const std::string& pattern, uint32_t attrMask, TSearchRec& rec);
// The next entry in the same way: 0, or an error code (18 when none remains).
int NextEntry(TSearchRec& rec);
// Closes the enumeration if it is open.
void EndEntries(TSearchRec& rec);

}  // namespace trawlix
