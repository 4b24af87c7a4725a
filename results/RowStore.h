// TRowStore: the rows of the result table, without any toolkit.
//
// Rows are numbered as in the grid: row 0 is the header (not stored here),
// rows 1 to FileCount() are the listed files. Each stored row keeps the exact
// bytes of its folder and file name (each distinct folder stored once per
// fill), the packed time of the last write, the size, the file's identity
// as the walk saw it (device, inode, exact time of the last write) and an
// optional checksum, in a fixed-size record. Cell texts are made when asked
// for, so names are never re-encoded and every path handed back to the
// system is built from these bytes.
//
// Rows may be stored beyond FileCount(): a search writes rows from the top
// and the rows below its end stay stored (the grid hides them) until
// overwritten. Rows never written read as blank.
//
// Moving rows (a sort) and rebuilding the rows from a list of source rows
// (the duplicate view) move records only; the name and folder bytes stay
// where they are, so neither grows the text stores. A new fill reclaims
// bytes no row uses any more.
//
// One thread at a time (the window's); not locked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileTime.h"
#include "platform/LargeBlocks.h"
#include "results/DateText.h"

namespace trawlix {

// Who a listed file is: what the walk's statx gave. Opening, deleting and
// the duplicate scan compare it with what the path names now.
struct TFileIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  uint64_t Size = 0;
  TFileTime LastWrite = 0;  // exact, not the packed form
};

class TRowStore {
 public:
  enum Column { colFolder = 0, colName = 1, colDate = 2, colSize = 3, colCrc = 4 };

  TRowStore() = default;

  // The format of the date cells; German unless set. Not owned.
  void SetDateFormat(const TDateTextFormat* format) { dateFormat_ = format ? format : &kGerman; }
  const TDateTextFormat& DateFormat() const { return *dateFormat_; }

  // The number of listed rows (rows 1 to FileCount).
  int32_t FileCount() const { return fileCount_; }
  void SetFileCount(int32_t count) { fileCount_ = count < 0 ? 0 : count; }

  // Rows 1 to StoredRows() hold records (written or blank).
  int StoredRows() const { return static_cast<int>(rows_.size()); }

  // Writes row `row` (1-based): folder (ending in "/"), name, packed time
  // of the last write, size and identity; any checksum is removed.
  void SetRow(int row, std::string_view folder, std::string_view name, int32_t time,
              const TFileIdentity& identity);
  // Empties every cell of the row.
  void ClearRow(int row);
  void SetChecksum(int row, int32_t checksum);
  void ClearChecksum(int row);

  bool IsBlank(int row) const;
  std::string_view Folder(int row) const;
  std::string_view Name(int row) const;
  std::string FullPath(int row) const;  // folder bytes followed by name bytes
  bool HasTime(int row) const;
  int32_t Time(int row) const;
  bool HasSize(int row) const;
  uint64_t Size(int row) const;
  bool HasChecksum(int row) const;
  int32_t Checksum(int row) const;
  // The identity the walk gave; false for a blank row.
  bool Identity(int row, TFileIdentity& identity) const;

  // The text of a cell as the grid shows it, as bytes: folder and name
  // unchanged, the date text, size and checksum in decimal, empty for
  // blanks.
  std::string CellText(int row, int col) const;
  void AppendCellText(std::string& out, int row, int col) const;

  // Row first+i becomes what row order[i] was (order a permutation of
  // first .. first+order.size()-1). Records move; no text is copied.
  void PermuteRows(int first, const std::vector<int>& order);
  // Rows 1 .. sources.size() become copies of the rows named by sources
  // (1-based, any may repeat or be left out); rows stored beyond them are
  // dropped. No text is copied.
  void RebuildFrom(const std::vector<int>& sources);

  // Called when a new fill (a search) begins: reclaims the space of names
  // and folders that no stored row uses any more.
  void BeginFill();

  // Bytes held by the store (records and text stores).
  size_t MemoryUse() const;
  size_t TextBytes() const { return names_.size() + folderBytes_.size(); }

  // Folder identity for the sort: rows of one folder share a number below
  // FolderSlots(); a blank row has kNoFolder.
  static constexpr uint32_t kNoFolder = 0xFFFFFFFFu;
  uint32_t FolderId(int row) const;
  size_t FolderSlots() const { return folders_.size(); }
  std::string_view FolderBytes(uint32_t id) const;

 private:
  struct Row {
    uint64_t size = 0;
    uint64_t inode = 0;
    TFileTime lastWrite = 0;
    uint32_t folder = kNoFolder;  // into folders_
    uint32_t nameOffset = 0;      // into names_
    int32_t time = 0;
    int32_t crc = 0;
    uint32_t device = 0;  // into devices_
    uint16_t nameLength = 0;
    uint8_t flags = 0;
  };
  struct FolderRef {
    uint64_t offset;
    uint32_t length;
  };
  enum : uint8_t { fTime = 1, fSize = 2, fCrc = 4, fUsed = 8 };

  Row& Ensure(int row);
  const Row* Find(int row) const;
  Row* FindMutable(int row);
  uint32_t InternFolder(std::string_view folder);
  uint32_t InternDevice(uint64_t device);
  void Compact();

  static const TDateTextFormat kGerman;
  const TDateTextFormat* dateFormat_ = &kGerman;
  int32_t fileCount_ = 0;
  TGrowingArray<Row> rows_;  // rows_[i] is row i + 1
  TGrowingBytes names_;
  TGrowingBytes folderBytes_;
  TGrowingArray<FolderRef> folders_;
  std::vector<uint64_t> devices_;
  size_t folderBytesAtCompact_ = 0;
};

}  // namespace trawlix
