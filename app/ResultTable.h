// TResultTable: the Qt model the grid StringGrid1 shows the row store
// through. The rows themselves live in a TRowStore (results/RowStore.h);
// this model adds what only the grid has: the row count (including the
// header row 0), the column count, the header texts, and batched change
// notices.
//
// The grid's row count is not the number of listed rows: a search writes
// rows as they arrive and sets the row count once at its end, and rows
// beyond the row count stay stored (hidden). Writes through the model only
// mark rows dirty; FlushChanges sends one notice for the dirty range. After
// an operation that changed the store directly (a sort, the duplicate
// view), RowsChanged tells the view.
//
// Used from the user-interface thread only. The view does not own the model;
// the window does.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "results/RowStore.h"

namespace trawlix {

// Bytes as text to draw: valid UTF-8 decoded, control characters (tab,
// newline ...) as their visible pictures (U+2400 block) and bytes that are
// not UTF-8 as \xNN. For display only; never turn the result back into a path.
QString ReadableText(std::string_view bytes);

class TResultTable : public QAbstractTableModel {
  Q_OBJECT
 public:
  using Column = TRowStore::Column;
  static constexpr int colFolder = TRowStore::colFolder, colName = TRowStore::colName,
                       colDate = TRowStore::colDate, colSize = TRowStore::colSize,
                       colCrc = TRowStore::colCrc;

  explicit TResultTable(QObject* parent = nullptr);
  ~TResultTable() override;

  TRowStore& Store() { return store_; }
  const TRowStore& Store() const { return store_; }

  // The format of the date cells; the user's settings unless set.
  void SetDateFormat(const TDateTextFormat* format);

  // Grid dimensions. RowCount includes the header row and is at least 1;
  // ColCount is 4, or 5 with the checksum column.
  int RowCount() const { return rowCount_; }
  void SetRowCount(int rows);
  int ColCount() const { return colCount_; }
  void SetColCount(int cols);

  QString HeaderText(int col) const;
  void SetHeaderText(int col, const QString& text);

  // Writes through to the store and marks the row for the next notice.
  void SetRow(int row, std::string_view folder, std::string_view name, int32_t time,
              const TFileIdentity& identity);
  void ClearRow(int row);
  void SetChecksum(int row, int32_t checksum);

  // The text of a cell as the grid shows it, as bytes.
  std::string CellText(int row, int col) const { return store_.CellText(row, col); }

  // The duplicate view's group of each row (groups[row - 1], rows of a
  // group side by side): the rows of a group share a background, and
  // neighbouring groups alternate between the palette's base and
  // alternate-base colours. Empty: no backgrounds (the list view).
  void SetGroups(const std::vector<uint32_t>& groups);
  // True when the row's group takes the alternate-base colour.
  bool AlternateGroup(int row) const {
    return row >= 1 && static_cast<size_t>(row) <= alternate_.size() && alternate_[row - 1];
  }

  // Rows first to last of the store changed behind the model's back.
  void RowsChanged(int first, int last);

  // Sends one change notice for the rows written since the last flush, as
  // far as they are visible.
  void FlushChanges();

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  void MarkDirty(int row);

  TRowStore store_;
  int rowCount_ = 2;
  int colCount_ = 4;
  QString header_[5];
  int dirtyFirst_ = 0, dirtyLast_ = -1;
  mutable std::string cellText_;  // the text data() makes, reused
  std::vector<bool> alternate_;  // per row, from SetGroups
};

}  // namespace trawlix
