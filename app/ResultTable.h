// TResultTable: the rows of the result table and the Qt model the grid
// StringGrid1 shows them through.
//
// Rows are numbered as in the grid: row 0 is the fixed header row (the view's
// horizontal header), rows 1 to RowCount()-1 are the rows the grid shows.
// Each stored row keeps the exact bytes of its folder and file name (folders
// shared between the rows of one folder), the packed time, the size and an
// optional checksum in a fixed-size record; cell texts are made when asked
// for. Names are therefore never re-encoded: paths handed to the system are
// built from these bytes, and only the displayed text is made readable
// (see ReadableText).
//
// Rows may be stored beyond the row count: a search writes rows as they
// arrive and sets the row count once at its end, and the rows below the row
// count stay stored (hidden) until overwritten. Rows never written are blank.
//
// Change notices to the view are batched: writes only mark rows dirty, and
// FlushChanges sends one notice for the dirty range.
//
// Used from the user-interface thread only. The view does not own the table;
// the window does.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trawlix {

class TDateTextFormat;

// Bytes as text to draw: valid UTF-8 decoded, control characters (tab,
// newline ...) as their visible pictures (U+2400 block) and bytes that are
// not UTF-8 as \xNN. For display only; never turn the result back into a path.
QString ReadableText(std::string_view bytes);

class TResultTable : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { colFolder = 0, colName = 1, colDate = 2, colSize = 3, colCrc = 4 };

  explicit TResultTable(QObject* parent = nullptr);
  ~TResultTable() override;

  // The format of the date cells; the user's settings unless set.
  void SetDateFormat(const TDateTextFormat* format) { dateFormat_ = format; }

  // Grid dimensions. RowCount includes the header row and is at least 1;
  // ColCount is 4, or 5 with the checksum column.
  int RowCount() const { return rowCount_; }
  void SetRowCount(int rows);
  int ColCount() const { return colCount_; }
  void SetColCount(int cols);

  QString HeaderText(int col) const;
  void SetHeaderText(int col, const QString& text);

  // Writes data row `row` (1-based) with the folder (ending in "/"), name,
  // packed time of last write and size; any checksum of the row is removed.
  void SetRow(int row, std::string_view folder, std::string_view name, int32_t time, uint64_t size);
  // Empties every cell of the row.
  void ClearRow(int row);
  void SetCrc(int row, uint32_t crc);
  void ClearCrc(int row);

  // Reading a stored row; a row never written (or beyond StoredRows) reads as
  // blank: empty folder and name, no time, no size.
  bool IsBlank(int row) const;
  std::string_view Folder(int row) const;
  std::string_view Name(int row) const;
  std::string FullPath(int row) const;  // folder bytes followed by name bytes
  bool HasTime(int row) const;
  int32_t Time(int row) const;
  bool HasSize(int row) const;
  uint64_t Size(int row) const;
  bool HasCrc(int row) const;
  uint32_t Crc(int row) const;
  // The text of a cell as the grid shows it, as bytes (folder and name
  // unchanged; date text; size and checksum in decimal; empty for blanks).
  std::string CellText(int row, int col) const;

  // Rows 1 to StoredRows() hold records (written or blank).
  int StoredRows() const { return static_cast<int>(rows_.size()); }

  // Whole rows as units: row a and row b change places; or rows first..
  // first+order.size()-1 are rewritten so that row first+i holds what row
  // order[i] held before (order a permutation of that range).
  void SwapRows(int a, int b);
  void PermuteRows(int first, const std::vector<int>& order);
  // Row dst becomes a copy of row src.
  void CopyRow(int dst, int src);

  // Sends one change notice for the rows written since the last flush, as
  // far as they are visible.
  void FlushChanges();

  // Called when a new fill (a search) begins: reclaims the space of names
  // and folders that no stored row uses any more.
  void BeginFill();

  // Bytes held by the row store (records and text arenas).
  size_t MemoryUse() const;

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Row {
    uint64_t size = 0;
    uint32_t folder = kNoFolder;  // index into folders_
    uint32_t nameOffset = 0;      // into names_
    int32_t time = 0;
    uint32_t crc = 0;
    uint16_t nameLength = 0;
    uint8_t flags = 0;
  };
  struct FolderRef {
    uint64_t offset;
    uint32_t length;
  };
  enum : uint8_t { fTime = 1, fSize = 2, fCrc = 4, fUsed = 8 };
  static constexpr uint32_t kNoFolder = 0xFFFFFFFFu;

  Row& Ensure(int row);
  const Row* Find(int row) const;
  uint32_t InternFolder(std::string_view folder);
  void ReleaseName(Row& r);
  void MarkDirty(int row);
  void Compact();
  const TDateTextFormat& DateFormat() const;

  std::vector<Row> rows_;     // rows_[i] is grid row i + 1
  std::string names_;         // name bytes of all rows
  size_t liveNameBytes_ = 0;  // bytes of names_ that rows refer to
  std::string folderBytes_;
  std::vector<FolderRef> folders_;
  size_t folderBytesAtCompact_ = 0;

  int rowCount_ = 2;
  int colCount_ = 4;
  QString header_[5];
  int dirtyFirst_ = 0, dirtyLast_ = -1;
  const TDateTextFormat* dateFormat_ = nullptr;
};

}  // namespace trawlix
