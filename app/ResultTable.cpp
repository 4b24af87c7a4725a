#include "app/ResultTable.h"

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "app/DateText.h"
#include "tree/ReadableName.h"

namespace trawlix {

QString ReadableText(std::string_view bytes) { return ReadableName(bytes); }

TResultTable::TResultTable(QObject* parent) : QAbstractTableModel(parent) {
  store_.SetDateFormat(&UserDateTextFormat());
}

TResultTable::~TResultTable() = default;

void TResultTable::SetDateFormat(const TDateTextFormat* format) {
  store_.SetDateFormat(format ? format : &UserDateTextFormat());
}

void TResultTable::SetRowCount(int rows) {
  rows = std::max(rows, 1);
  if (rows == rowCount_) return;
  FlushChanges();
  if (rows < rowCount_) {
    beginRemoveRows(QModelIndex(), rows - 1, rowCount_ - 2);
    rowCount_ = rows;
    endRemoveRows();
  } else {
    beginInsertRows(QModelIndex(), rowCount_ - 1, rows - 2);
    rowCount_ = rows;
    endInsertRows();
  }
}

void TResultTable::SetColCount(int cols) {
  cols = std::clamp(cols, 4, 5);
  if (cols == colCount_) return;
  if (cols > colCount_) {
    beginInsertColumns(QModelIndex(), colCount_, cols - 1);
    colCount_ = cols;
    endInsertColumns();
  } else {
    beginRemoveColumns(QModelIndex(), cols, colCount_ - 1);
    colCount_ = cols;
    endRemoveColumns();
  }
}

QString TResultTable::HeaderText(int col) const {
  return col >= 0 && col < 5 ? header_[col] : QString();
}

void TResultTable::SetHeaderText(int col, const QString& text) {
  if (col < 0 || col >= 5) return;
  header_[col] = text;
  if (col < colCount_) emit headerDataChanged(Qt::Horizontal, col, col);
}

void TResultTable::MarkDirty(int row) {
  if (dirtyFirst_ > dirtyLast_) {
    dirtyFirst_ = dirtyLast_ = row;
  } else {
    dirtyFirst_ = std::min(dirtyFirst_, row);
    dirtyLast_ = std::max(dirtyLast_, row);
  }
}

void TResultTable::SetRow(int row, std::string_view folder, std::string_view name, int32_t time,
                          const TFileIdentity& identity) {
  store_.SetRow(row, folder, name, time, identity);
  MarkDirty(row);
}

void TResultTable::ClearRow(int row) {
  store_.ClearRow(row);
  MarkDirty(row);
}

void TResultTable::SetChecksum(int row, int32_t checksum) {
  store_.SetChecksum(row, checksum);
  MarkDirty(row);
}

void TResultTable::SetGroups(const std::vector<uint32_t>& groups) {
  std::vector<bool> alternate(groups.size());
  bool odd = false;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (i > 0 && groups[i] != groups[i - 1]) odd = !odd;
    alternate[i] = odd;
  }
  const size_t changed = std::max(alternate.size(), alternate_.size());
  alternate_ = std::move(alternate);
  if (changed > 0 && rowCount_ > 1)
    emit dataChanged(index(0, 0), index(rowCount_ - 2, colCount_ - 1), {Qt::BackgroundRole});
}

void TResultTable::RowsChanged(int first, int last) {
  if (first > last) return;
  MarkDirty(first);
  MarkDirty(last);
  FlushChanges();
}

void TResultTable::FlushChanges() {
  if (dirtyFirst_ > dirtyLast_) return;
  const int first = std::max(dirtyFirst_, 1), last = std::min(dirtyLast_, rowCount_ - 1);
  dirtyFirst_ = 0;
  dirtyLast_ = -1;
  if (first > last) return;
  emit dataChanged(index(first - 1, 0), index(last - 1, colCount_ - 1), {Qt::DisplayRole});
}

int TResultTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rowCount_ - 1;
}

int TResultTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount_;
}

QVariant TResultTable::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const int row = index.row() + 1;
  if (role == Qt::BackgroundRole) {
    if (static_cast<size_t>(row) > alternate_.size()) return {};
    const QPalette palette = QGuiApplication::palette();
    return AlternateGroup(row) ? palette.alternateBase() : palette.base();
  }
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case colFolder:
      return ReadableText(store_.Folder(row));
    case colName:
      return ReadableText(store_.Name(row));
    default: {
      // Date, size and checksum are made in one buffer the model keeps, so
      // drawing a cell allocates nothing but its QString.
      cellText_.clear();
      store_.AppendCellText(cellText_, row, index.column());
      return QString::fromUtf8(cellText_.data(), static_cast<qsizetype>(cellText_.size()));
    }
  }
}

QVariant TResultTable::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return HeaderText(section);
  return {};
}

Qt::ItemFlags TResultTable::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace trawlix
