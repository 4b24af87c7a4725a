#include "app/ResultTable.h"

#include <algorithm>
#include <stdexcept>

#include "app/DateText.h"

namespace trawlix {

QString ReadableText(std::string_view bytes) {
  // Fast path: printable ASCII and well-formed UTF-8 without control
  // characters decode as they are.
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  bool plain = true;
  for (size_t i = 0; i < n; ++i) {
    if (p[i] < 0x20 || p[i] >= 0x7F) {
      plain = false;
      break;
    }
  }
  if (plain) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(n));

  QString out;
  out.reserve(static_cast<qsizetype>(n));
  static const char hex[] = "0123456789ABCDEF";
  auto escape = [&](unsigned char b) {
    out += u'\\';
    out += u'x';
    out += QLatin1Char(hex[b >> 4]);
    out += QLatin1Char(hex[b & 15]);
  };
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x20) {
      out += QChar(static_cast<char16_t>(0x2400 + b));
      ++i;
      continue;
    }
    if (b == 0x7F) {
      out += QChar(static_cast<char16_t>(0x2421));
      ++i;
      continue;
    }
    if (b < 0x80) {
      out += QLatin1Char(static_cast<char>(b));
      ++i;
      continue;
    }
    // Multi-byte sequence: lead byte, length, and the smallest code point
    // that length may carry (overlong forms are not UTF-8).
    size_t len = 0;
    char32_t cp = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      cp = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      cp = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      cp = b & 0x07;
      min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        cp = (cp << 6) | (p[i + k] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      escape(b);
      ++i;
      continue;
    }
    if (cp >= 0x80 && cp < 0xA0) {
      // C1 control characters draw as nothing; show their bytes.
      for (size_t k = 0; k < len; ++k) escape(p[i + k]);
    } else {
      out += QString::fromUcs4(&cp, 1);
    }
    i += len;
  }
  return out;
}

TResultTable::TResultTable(QObject* parent) : QAbstractTableModel(parent) {}

TResultTable::~TResultTable() = default;

const TDateTextFormat& TResultTable::DateFormat() const {
  return dateFormat_ ? *dateFormat_ : TDateTextFormat::User();
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

TResultTable::Row& TResultTable::Ensure(int row) {
  if (row < 1) throw std::out_of_range("result table row out of range");
  if (static_cast<size_t>(row) > rows_.size()) rows_.resize(static_cast<size_t>(row));
  return rows_[static_cast<size_t>(row) - 1];
}

const TResultTable::Row* TResultTable::Find(int row) const {
  if (row < 1 || static_cast<size_t>(row) > rows_.size()) return nullptr;
  return &rows_[static_cast<size_t>(row) - 1];
}

uint32_t TResultTable::InternFolder(std::string_view folder) {
  // Matches arrive folder by folder, so the folder of the previous row is
  // nearly always the one asked for.
  if (!folders_.empty()) {
    const FolderRef& last = folders_.back();
    if (last.length == folder.size() &&
        std::string_view(folderBytes_).substr(last.offset, last.length) == folder)
      return static_cast<uint32_t>(folders_.size() - 1);
  }
  if (folders_.size() >= kNoFolder) throw std::length_error("too many folders in the result table");
  folders_.push_back({folderBytes_.size(), static_cast<uint32_t>(folder.size())});
  folderBytes_.append(folder);
  return static_cast<uint32_t>(folders_.size() - 1);
}

void TResultTable::ReleaseName(Row& r) {
  liveNameBytes_ -= r.nameLength;
  r.nameLength = 0;
  r.nameOffset = 0;
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
                          uint64_t size) {
  if (name.size() > 0xFFFF) throw std::length_error("file name too long for the result table");
  if (names_.size() + name.size() > 0xFFFFFFFFu) Compact();
  if (names_.size() + name.size() > 0xFFFFFFFFu) throw std::length_error("result table full");
  const uint32_t folderId = InternFolder(folder);
  Row& r = Ensure(row);
  ReleaseName(r);
  r.folder = folderId;
  r.nameOffset = static_cast<uint32_t>(names_.size());
  r.nameLength = static_cast<uint16_t>(name.size());
  names_.append(name);
  liveNameBytes_ += name.size();
  r.time = time;
  r.size = size;
  r.crc = 0;
  r.flags = fUsed | fTime | fSize;
  MarkDirty(row);
}

void TResultTable::ClearRow(int row) {
  Row* r = row >= 1 && static_cast<size_t>(row) <= rows_.size() ? &rows_[static_cast<size_t>(row) - 1] : nullptr;
  if (!r) return;  // never written: blank already
  ReleaseName(*r);
  *r = Row();
  MarkDirty(row);
}

void TResultTable::SetCrc(int row, uint32_t crc) {
  Row& r = Ensure(row);
  r.crc = crc;
  r.flags |= fCrc;
  MarkDirty(row);
}

void TResultTable::ClearCrc(int row) {
  if (static_cast<size_t>(row) > rows_.size() || row < 1) return;
  Row& r = rows_[static_cast<size_t>(row) - 1];
  r.crc = 0;
  r.flags &= static_cast<uint8_t>(~fCrc);
  MarkDirty(row);
}

bool TResultTable::IsBlank(int row) const {
  const Row* r = Find(row);
  return !r || !(r->flags & fUsed);
}

std::string_view TResultTable::Folder(int row) const {
  const Row* r = Find(row);
  if (!r || r->folder == kNoFolder) return {};
  const FolderRef& f = folders_[r->folder];
  return std::string_view(folderBytes_).substr(f.offset, f.length);
}

std::string_view TResultTable::Name(int row) const {
  const Row* r = Find(row);
  if (!r || r->nameLength == 0) return {};
  return std::string_view(names_).substr(r->nameOffset, r->nameLength);
}

std::string TResultTable::FullPath(int row) const {
  std::string path(Folder(row));
  path.append(Name(row));
  return path;
}

bool TResultTable::HasTime(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fTime);
}
int32_t TResultTable::Time(int row) const {
  const Row* r = Find(row);
  return r ? r->time : 0;
}
bool TResultTable::HasSize(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fSize);
}
uint64_t TResultTable::Size(int row) const {
  const Row* r = Find(row);
  return r ? r->size : 0;
}
bool TResultTable::HasCrc(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fCrc);
}
uint32_t TResultTable::Crc(int row) const {
  const Row* r = Find(row);
  return r ? r->crc : 0;
}

std::string TResultTable::CellText(int row, int col) const {
  const Row* r = Find(row);
  if (!r) return {};
  switch (col) {
    case colFolder: return std::string(Folder(row));
    case colName: return std::string(Name(row));
    case colDate: return (r->flags & fTime) ? DateFormat().Format(r->time) : std::string();
    case colSize: return (r->flags & fSize) ? std::to_string(r->size) : std::string();
    case colCrc: return (r->flags & fCrc) ? std::to_string(r->crc) : std::string();
    default: return {};
  }
}

void TResultTable::SwapRows(int a, int b) {
  if (a == b) return;
  Ensure(std::max(a, b));
  Ensure(std::min(a, b));
  std::swap(rows_[static_cast<size_t>(a) - 1], rows_[static_cast<size_t>(b) - 1]);
  MarkDirty(a);
  MarkDirty(b);
}

void TResultTable::PermuteRows(int first, const std::vector<int>& order) {
  if (order.empty()) return;
  const int last = first + static_cast<int>(order.size()) - 1;
  Ensure(last);
  std::vector<Row> moved;
  moved.reserve(order.size());
  for (int src : order) {
    if (src < first || src > last) throw std::out_of_range("row order outside its range");
    moved.push_back(rows_[static_cast<size_t>(src) - 1]);
  }
  std::copy(moved.begin(), moved.end(), rows_.begin() + (first - 1));
  MarkDirty(first);
  MarkDirty(last);
}

void TResultTable::CopyRow(int dst, int src) {
  if (dst == src) return;
  const Row copy = Find(src) ? *Find(src) : Row();
  Row& d = Ensure(dst);
  ReleaseName(d);
  d = copy;
  if (copy.nameLength) {
    // Each row owns its name bytes so that the space accounting stays exact.
    const std::string name = names_.substr(copy.nameOffset, copy.nameLength);
    d.nameOffset = static_cast<uint32_t>(names_.size());
    names_.append(name);
    liveNameBytes_ += copy.nameLength;
  }
  MarkDirty(dst);
}

void TResultTable::FlushChanges() {
  if (dirtyFirst_ > dirtyLast_) return;
  const int first = dirtyFirst_, last = std::min(dirtyLast_, rowCount_ - 1);
  dirtyFirst_ = 0;
  dirtyLast_ = -1;
  if (first > last) return;
  emit dataChanged(index(first - 1, 0), index(last - 1, colCount_ - 1), {Qt::DisplayRole});
}

void TResultTable::BeginFill() {
  if (names_.size() > 2 * liveNameBytes_ + (1u << 20) ||
      folderBytes_.size() > 2 * folderBytesAtCompact_ + (1u << 20))
    Compact();
}

void TResultTable::Compact() {
  std::string names;
  names.reserve(liveNameBytes_);
  std::string folderBytes;
  std::vector<FolderRef> folders;
  std::vector<uint32_t> newId(folders_.size(), kNoFolder);
  for (Row& r : rows_) {
    if (r.nameLength) {
      const uint32_t off = static_cast<uint32_t>(names.size());
      names.append(std::string_view(names_).substr(r.nameOffset, r.nameLength));
      r.nameOffset = off;
    }
    if (r.folder != kNoFolder) {
      uint32_t& id = newId[r.folder];
      if (id == kNoFolder) {
        const FolderRef& f = folders_[r.folder];
        id = static_cast<uint32_t>(folders.size());
        folders.push_back({folderBytes.size(), f.length});
        folderBytes.append(std::string_view(folderBytes_).substr(f.offset, f.length));
      }
      r.folder = id;
    }
  }
  names_ = std::move(names);
  liveNameBytes_ = names_.size();
  folderBytes_ = std::move(folderBytes);
  folders_ = std::move(folders);
  folderBytesAtCompact_ = folderBytes_.size();
}

size_t TResultTable::MemoryUse() const {
  return rows_.capacity() * sizeof(Row) + names_.capacity() + folderBytes_.capacity() +
         folders_.capacity() * sizeof(FolderRef);
}

int TResultTable::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rowCount_ - 1;
}

int TResultTable::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : colCount_;
}

QVariant TResultTable::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  const int row = index.row() + 1;
  switch (index.column()) {
    case colFolder: return ReadableText(Folder(row));
    case colName: return ReadableText(Name(row));
    default: return QString::fromStdString(CellText(row, index.column()));
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
