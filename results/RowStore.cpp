#include "results/RowStore.h"

#include <algorithm>
#include <stdexcept>

namespace trawlix {

const TDateTextFormat TRowStore::kGerman;

TRowStore::Row& TRowStore::Ensure(int row) {
  if (row < 1) throw std::out_of_range("result table row out of range");
  if (static_cast<size_t>(row) > rows_.size()) rows_.resize(static_cast<size_t>(row));
  return rows_[static_cast<size_t>(row) - 1];
}

const TRowStore::Row* TRowStore::Find(int row) const {
  if (row < 1 || static_cast<size_t>(row) > rows_.size()) return nullptr;
  return &rows_[static_cast<size_t>(row) - 1];
}

TRowStore::Row* TRowStore::FindMutable(int row) {
  if (row < 1 || static_cast<size_t>(row) > rows_.size()) return nullptr;
  return &rows_[static_cast<size_t>(row) - 1];
}

uint32_t TRowStore::InternFolder(std::string_view folder) {
  // Matches arrive folder by folder, so the folder of the previous row is
  // nearly always the one asked for.
  if (!folders_.empty()) {
    const FolderRef& last = folders_[folders_.size() - 1];
    if (last.length == folder.size() &&
        std::string_view(folderBytes_).substr(last.offset, last.length) == folder)
      return static_cast<uint32_t>(folders_.size() - 1);
  }
  if (folders_.size() >= kNoFolder) throw std::length_error("too many folders in the result table");
  folders_.push_back({folderBytes_.size(), static_cast<uint32_t>(folder.size())});
  folderBytes_.append(folder);
  return static_cast<uint32_t>(folders_.size() - 1);
}

uint32_t TRowStore::InternDevice(uint64_t device) {
  // A search crosses few devices; look from the newest.
  for (size_t i = devices_.size(); i-- > 0;)
    if (devices_[i] == device) return static_cast<uint32_t>(i);
  devices_.push_back(device);
  return static_cast<uint32_t>(devices_.size() - 1);
}

void TRowStore::SetRow(int row, std::string_view folder, std::string_view name, int32_t time,
                       const TFileIdentity& identity) {
  if (name.size() > 0xFFFF) throw std::length_error("file name too long for the result table");
  if (names_.size() + name.size() > 0xFFFFFFFFu) Compact();
  if (names_.size() + name.size() > 0xFFFFFFFFu) throw std::length_error("result table full");
  const uint32_t folderId = InternFolder(folder);
  const uint32_t device = InternDevice(identity.Device);
  Row& r = Ensure(row);
  r.folder = folderId;
  r.nameOffset = static_cast<uint32_t>(names_.size());
  r.nameLength = static_cast<uint16_t>(name.size());
  names_.append(name);
  r.time = time;
  r.size = identity.Size;
  r.inode = identity.Inode;
  r.lastWrite = identity.LastWrite;
  r.device = device;
  r.crc = 0;
  r.flags = fUsed | fTime | fSize;
}

void TRowStore::ClearRow(int row) {
  if (Row* r = FindMutable(row)) *r = Row();  // a row never written is blank already
}

void TRowStore::SetChecksum(int row, int32_t checksum) {
  Row& r = Ensure(row);
  r.crc = checksum;
  r.flags |= fCrc;
}

void TRowStore::ClearChecksum(int row) {
  if (Row* r = FindMutable(row)) {
    r->crc = 0;
    r->flags &= static_cast<uint8_t>(~fCrc);
  }
}

bool TRowStore::IsBlank(int row) const {
  const Row* r = Find(row);
  return !r || !(r->flags & fUsed);
}

std::string_view TRowStore::Folder(int row) const {
  const Row* r = Find(row);
  if (!r || r->folder == kNoFolder) return {};
  const FolderRef& f = folders_[r->folder];
  return std::string_view(folderBytes_).substr(f.offset, f.length);
}

std::string_view TRowStore::Name(int row) const {
  const Row* r = Find(row);
  if (!r || r->nameLength == 0) return {};
  return std::string_view(names_).substr(r->nameOffset, r->nameLength);
}

std::string TRowStore::FullPath(int row) const {
  std::string path(Folder(row));
  path.append(Name(row));
  return path;
}

bool TRowStore::HasTime(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fTime);
}
int32_t TRowStore::Time(int row) const {
  const Row* r = Find(row);
  return r ? r->time : 0;
}
bool TRowStore::HasSize(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fSize);
}
uint64_t TRowStore::Size(int row) const {
  const Row* r = Find(row);
  return r ? r->size : 0;
}
bool TRowStore::HasChecksum(int row) const {
  const Row* r = Find(row);
  return r && (r->flags & fCrc);
}
int32_t TRowStore::Checksum(int row) const {
  const Row* r = Find(row);
  return r ? r->crc : 0;
}

bool TRowStore::Identity(int row, TFileIdentity& identity) const {
  const Row* r = Find(row);
  if (!r || !(r->flags & fUsed)) return false;
  identity.Device = devices_[r->device];
  identity.Inode = r->inode;
  identity.Size = r->size;
  identity.LastWrite = r->lastWrite;
  return true;
}

uint32_t TRowStore::FolderId(int row) const {
  const Row* r = Find(row);
  return r ? r->folder : kNoFolder;
}

std::string_view TRowStore::FolderBytes(uint32_t id) const {
  if (id >= folders_.size()) return {};
  const FolderRef& f = folders_[id];
  return std::string_view(folderBytes_).substr(f.offset, f.length);
}

void TRowStore::AppendCellText(std::string& out, int row, int col) const {
  const Row* r = Find(row);
  if (!r) return;
  switch (col) {
    case colFolder:
      out.append(Folder(row));
      break;
    case colName:
      out.append(Name(row));
      break;
    case colDate:
      if (r->flags & fTime) dateFormat_->AppendFormat(out, r->time);
      break;
    case colSize:
      if (r->flags & fSize) {
        char buf[24];
        char* p = buf + sizeof buf;
        uint64_t v = r->size;
        do {
          *--p = static_cast<char>('0' + v % 10);
          v /= 10;
        } while (v);
        out.append(p, static_cast<size_t>(buf + sizeof buf - p));
      }
      break;
    case colCrc:
      if (r->flags & fCrc) out += std::to_string(r->crc);
      break;
    default:
      break;
  }
}

std::string TRowStore::CellText(int row, int col) const {
  std::string out;
  AppendCellText(out, row, col);
  return out;
}

void TRowStore::PermuteRows(int first, const std::vector<int>& order) {
  if (order.empty()) return;
  const int last = first + static_cast<int>(order.size()) - 1;
  if (first < 1) throw std::out_of_range("row order outside its range");
  Ensure(last);
  // Check the order is a permutation of the range before anything moves.
  std::vector<bool> seen(order.size(), false);
  for (int src : order) {
    if (src < first || src > last || seen[static_cast<size_t>(src - first)])
      throw std::out_of_range("row order is no permutation of its range");
    seen[static_cast<size_t>(src - first)] = true;
  }
  // Follow each cycle once: position i takes the record of order[i].
  std::vector<bool> done(order.size(), false);
  Row* base = rows_.data() + (first - 1);
  for (size_t i = 0; i < order.size(); ++i) {
    if (done[i]) continue;
    const Row start = base[i];
    size_t at = i;
    for (;;) {
      done[at] = true;
      const size_t src = static_cast<size_t>(order[at] - first);
      if (src == i) {
        base[at] = start;
        break;
      }
      base[at] = base[src];
      at = src;
    }
  }
}

void TRowStore::RebuildFrom(const std::vector<int>& sources) {
  TGrowingArray<Row> rebuilt;
  rebuilt.reserve(sources.size());
  for (int src : sources) {
    const Row* r = Find(src);
    rebuilt.push_back(r ? *r : Row());
  }
  rows_ = std::move(rebuilt);
}

void TRowStore::BeginFill() {
  size_t liveNames = 0;
  for (const Row& r : rows_) liveNames += r.nameLength;
  if (names_.size() > 2 * liveNames + (1u << 20) ||
      folderBytes_.size() > 2 * folderBytesAtCompact_ + (1u << 20) || devices_.size() > 64)
    Compact();
}

void TRowStore::Compact() {
  TGrowingBytes names;
  TGrowingBytes folderBytes;
  TGrowingArray<FolderRef> folders;
  std::vector<uint64_t> devices;
  std::vector<uint32_t> newFolder(folders_.size(), kNoFolder);
  std::vector<uint32_t> newDevice(devices_.size(), kNoFolder);
  for (Row& r : rows_) {
    if (r.nameLength) {
      const uint32_t off = static_cast<uint32_t>(names.size());
      names.append(std::string_view(names_).substr(r.nameOffset, r.nameLength));
      r.nameOffset = off;
    } else {
      r.nameOffset = 0;
    }
    if (r.folder != kNoFolder) {
      uint32_t& id = newFolder[r.folder];
      if (id == kNoFolder) {
        const FolderRef& f = folders_[r.folder];
        id = static_cast<uint32_t>(folders.size());
        folders.push_back({folderBytes.size(), f.length});
        folderBytes.append(std::string_view(folderBytes_).substr(f.offset, f.length));
      }
      r.folder = id;
    }
    if (r.flags & fUsed) {
      uint32_t& d = newDevice[r.device];
      if (d == kNoFolder) {
        d = static_cast<uint32_t>(devices.size());
        devices.push_back(devices_[r.device]);
      }
      r.device = d;
    }
  }
  names.shrink_to_fit();
  folderBytes.shrink_to_fit();
  names_ = std::move(names);
  folderBytes_ = std::move(folderBytes);
  folders_ = std::move(folders);
  devices_ = std::move(devices);
  folderBytesAtCompact_ = folderBytes_.size();
}

size_t TRowStore::MemoryUse() const {
  return rows_.capacity() * sizeof(Row) + names_.capacity() + folderBytes_.capacity() +
         folders_.capacity() * sizeof(FolderRef) + devices_.capacity() * sizeof(uint64_t);
}

}  // namespace trawlix
