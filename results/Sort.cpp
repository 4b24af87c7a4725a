#include "results/Sort.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/FileTime.h"

namespace trawlix {

std::string_view ExtensionKey(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

namespace {

// A table of sort keys, one per slot, made when first asked for.
class TKeyTable {
 public:
  explicit TKeyTable(size_t slots) : offset_(slots, kNone), length_(slots, 0) {}
  bool Has(size_t slot) const { return offset_[slot] != kNone; }
  void Make(size_t slot, const TCollator& collator, std::string_view text) {
    const size_t start = arena_.size();
    collator.AppendSortKey(text, arena_);
    offset_[slot] = start;
    length_[slot] = static_cast<uint32_t>(arena_.size() - start);
  }
  std::string_view Key(size_t slot) const {
    return std::string_view(arena_).substr(offset_[slot], length_[slot]);
  }
  // The first bytes of the key as a number, for quick comparisons: keys that
  // differ there compare as these numbers do.
  uint64_t Prefix(size_t slot, size_t from, size_t bytes) const {
    const std::string_view k = Key(slot);
    uint64_t v = 0;
    for (size_t i = 0; i < bytes; ++i)
      v = (v << 8) | (from + i < k.size() ? static_cast<unsigned char>(k[from + i]) : 0u);
    return v;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  std::string arena_;
  std::vector<size_t> offset_;
  std::vector<uint32_t> length_;
};

int Compare3(std::string_view a, std::string_view b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

template <class T>
int CompareValues(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

// The decimal text of a size compares as text: "100" before "99", a prefix
// before what it begins ("10" before "100"), the empty text of a blank row
// first.
int CompareSizeTexts(bool hasA, uint64_t a, bool hasB, uint64_t b) {
  if (!hasA || !hasB) return CompareValues(hasA, hasB);
  char ta[24], tb[24];
  const int la = std::snprintf(ta, sizeof ta, "%llu", static_cast<unsigned long long>(a));
  const int lb = std::snprintf(tb, sizeof tb, "%llu", static_cast<unsigned long long>(b));
  return Compare3(std::string_view(ta, static_cast<size_t>(la)),
                  std::string_view(tb, static_cast<size_t>(lb)));
}

class TSorter {
 public:
  TSorter(const TRowStore& store, TSortOrder order, const TCollator& collator)
      : store_(store),
        order_(order),
        collator_(collator),
        n_(store.FileCount()),
        names_(static_cast<size_t>(n_) + 1) {}

  std::vector<int> Run() {
    if (order_ != TSortOrder::Date) MakeFolderRanks();
    if (order_ == TSortOrder::Extension) MakeExtensionRanks();
    const bool namesFirst = order_ == TSortOrder::Folder || order_ == TSortOrder::Name ||
                            order_ == TSortOrder::Extension;
    std::vector<Item> items(static_cast<size_t>(n_));
    for (int r = 1; r <= n_; ++r) {
      Item& it = items[static_cast<size_t>(r - 1)];
      it.row = static_cast<uint32_t>(r);
      if (namesFirst) NameKey(r);
      switch (order_) {
        case TSortOrder::Folder:
          it.k0 = (static_cast<uint64_t>(FolderRank(r)) << 32) | names_.Prefix(Slot(r), 0, 4);
          it.k1 = static_cast<uint32_t>(names_.Prefix(Slot(r), 4, 4));
          break;
        case TSortOrder::Name:
          it.k0 = names_.Prefix(Slot(r), 0, 8);
          it.k1 = static_cast<uint32_t>(names_.Prefix(Slot(r), 8, 4));
          break;
        case TSortOrder::Extension:
          it.k0 = (static_cast<uint64_t>(extRank_[Slot(r)]) << 32) | names_.Prefix(Slot(r), 0, 4);
          it.k1 = static_cast<uint32_t>(names_.Prefix(Slot(r), 4, 4));
          break;
        case TSortOrder::Date:
          it.k0 = DateValue(r);
          it.k1 = 0;
          break;
        case TSortOrder::Size:
          it.k0 = store_.HasSize(r) ? store_.Size(r) : 0;
          it.k1 = FolderRank(r);
          break;
      }
    }
    std::sort(items.begin(), items.end(), [this](const Item& a, const Item& b) {
      if (a.k0 != b.k0) return a.k0 < b.k0;
      if (a.k1 != b.k1) return a.k1 < b.k1;
      const int c = CompareRows(static_cast<int>(a.row), static_cast<int>(b.row));
      if (c != 0) return c < 0;
      return a.row < b.row;
    });
    std::vector<int> order(items.size());
    for (size_t i = 0; i < items.size(); ++i) order[i] = static_cast<int>(items[i].row);
    return order;
  }

 private:
  struct Item {
    uint64_t k0;
    uint32_t k1;
    uint32_t row;
  };

  static size_t Slot(int row) { return static_cast<size_t>(row); }

  // The fields of the orders, in their order.
  int CompareRows(int a, int b) {
    int c = 0;
    switch (order_) {
      case TSortOrder::Folder:
        if ((c = CompareValues(FolderRank(a), FolderRank(b)))) return c;
        if ((c = CompareNames(a, b))) return c;
        if ((c = CompareValues(DateTextKey(a), DateTextKey(b)))) return c;
        return CompareSizeText(a, b);
      case TSortOrder::Name:
        if ((c = CompareNames(a, b))) return c;
        if ((c = CompareValues(DateTextKey(a), DateTextKey(b)))) return c;
        if ((c = CompareSizeText(a, b))) return c;
        return CompareValues(FolderRank(a), FolderRank(b));
      case TSortOrder::Extension:
        if ((c = CompareValues(extRank_[Slot(a)], extRank_[Slot(b)]))) return c;
        if ((c = CompareNames(a, b))) return c;
        if ((c = CompareValues(DateTextKey(a), DateTextKey(b)))) return c;
        if ((c = CompareSizeText(a, b))) return c;
        return CompareValues(FolderRank(a), FolderRank(b));
      case TSortOrder::Date:
        if ((c = CompareValues(DateValue(a), DateValue(b)))) return c;
        if ((c = CompareSizeText(a, b))) return c;
        if ((c = CompareFolders(a, b))) return c;
        return CompareNames(a, b);
      case TSortOrder::Size:
        if ((c = CompareValues(store_.HasSize(a) ? store_.Size(a) : 0,
                               store_.HasSize(b) ? store_.Size(b) : 0)))
          return c;
        if ((c = CompareValues(FolderRank(a), FolderRank(b)))) return c;
        if ((c = CompareNames(a, b))) return c;
        return CompareValues(DateTextKey(a), DateTextKey(b));
    }
    return 0;
  }

  int CompareSizeText(int a, int b) const {
    return CompareSizeTexts(store_.HasSize(a), store_.Size(a), store_.HasSize(b), store_.Size(b));
  }

  std::string_view NameKey(int row) {
    if (!names_.Has(Slot(row))) names_.Make(Slot(row), collator_, store_.Name(row));
    return names_.Key(Slot(row));
  }
  int CompareNames(int a, int b) {
    // Both keys first: making one may move the other's bytes.
    NameKey(a);
    NameKey(b);
    return Compare3(names_.Key(Slot(a)), names_.Key(Slot(b)));
  }

  // The date order reads folders rarely: their keys are made when asked for.
  int CompareFolders(int a, int b) {
    if (folderKeys_.empty()) folderKeys_.resize(store_.FolderSlots() + 1);
    auto key = [this](int row) -> const std::string& {
      const uint32_t id = store_.FolderId(row);
      const size_t slot = id == TRowStore::kNoFolder ? store_.FolderSlots() : id;
      std::string& k = folderKeys_[slot];
      if (k.empty()) collator_.AppendSortKey(store_.Folder(row), k);
      return k;
    };
    return Compare3(key(a), key(b));
  }

  uint32_t FolderRank(int row) const {
    const uint32_t id = store_.FolderId(row);
    return id == TRowStore::kNoFolder ? 0 : folderRank_[id];
  }

  // Ranks of the folders the listed rows name: equal keys, equal ranks; 0
  // is the empty folder of a blank row.
  void MakeFolderRanks() {
    folderRank_.assign(store_.FolderSlots(), 0);
    std::vector<uint32_t> used;
    std::vector<bool> seen(store_.FolderSlots(), false);
    for (int r = 1; r <= n_; ++r) {
      const uint32_t id = store_.FolderId(r);
      if (id != TRowStore::kNoFolder && !seen[id]) {
        seen[id] = true;
        used.push_back(id);
      }
    }
    TKeyTable keys(store_.FolderSlots());
    for (uint32_t id : used) keys.Make(id, collator_, store_.FolderBytes(id));
    RankByKeys(used, keys, folderRank_);
  }

  void MakeExtensionRanks() {
    extRank_.assign(static_cast<size_t>(n_) + 1, 0);
    std::unordered_map<std::string_view, uint32_t> distinct;
    std::vector<std::string_view> texts;
    std::vector<uint32_t> rowExt(static_cast<size_t>(n_) + 1, 0);
    for (int r = 1; r <= n_; ++r) {
      const std::string_view ext = ExtensionKey(store_.Name(r));
      auto [it, fresh] = distinct.emplace(ext, static_cast<uint32_t>(texts.size()));
      if (fresh) texts.push_back(ext);
      rowExt[Slot(r)] = it->second;
    }
    TKeyTable keys(texts.size());
    std::vector<uint32_t> ids(texts.size());
    for (uint32_t i = 0; i < texts.size(); ++i) {
      ids[i] = i;
      keys.Make(i, collator_, texts[i]);
    }
    std::vector<uint32_t> rank(texts.size(), 0);
    RankByKeys(ids, keys, rank);
    for (int r = 1; r <= n_; ++r) extRank_[Slot(r)] = rank[rowExt[Slot(r)]];
  }

  // rank[id] = 1 + the number of distinct keys below id's key.
  static void RankByKeys(std::vector<uint32_t>& ids, const TKeyTable& keys,
                         std::vector<uint32_t>& rank) {
    std::sort(ids.begin(), ids.end(),
              [&](uint32_t a, uint32_t b) { return keys.Key(a) < keys.Key(b); });
    uint32_t next = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
      if (i == 0 || keys.Key(ids[i]) != keys.Key(ids[i - 1])) ++next;
      rank[ids[i]] = next;
    }
  }

  // The date order's key: 0 for rows without a valid date, else the packed
  // time, whose bit order is the calendar order.
  uint64_t DateValue(int row) const {
    if (!store_.HasTime(row)) return 0;
    TDateTimeFields f;
    const int32_t packed = store_.Time(row);
    if (!DecodeDosDateTime(packed, f)) return 0;
    return (uint64_t{1} << 32) | static_cast<uint32_t>(packed);
  }

  // A number that orders as the date texts do under the collator: the empty
  // text of a blank row first, then the fallback text, then the dates. A
  // valid text is its date part (fixed-width digits between the same
  // literals in every row, so it orders as the fields in writing order),
  // then nothing at midnight, else a blank and the time text, whose place
  // among all times of a day is looked up.
  uint64_t DateTextKey(int row) {
    if (!store_.HasTime(row)) return 0;
    TDateTimeFields f;
    if (!DecodeDosDateTime(store_.Time(row), f)) return 1;
    const TDateTextFormat& format = store_.DateFormat();
    uint64_t time = 0;
    if (f.Hour || f.Minute || f.Second) {
      if (timeRank_.empty()) MakeTimeRanks(format);
      time = timeRank_[static_cast<size_t>((f.Hour * 3600 + f.Minute * 60 + f.Second) / 2)];
    }
    return 2 + ((static_cast<uint64_t>(format.DatePartValue(f.Year, f.Month, f.Day)) << 16) | time);
  }

  void MakeTimeRanks(const TDateTextFormat& format) {
    constexpr size_t kSlots = 24 * 3600 / 2;
    TKeyTable keys(kSlots);
    std::vector<uint32_t> ids;
    ids.reserve(kSlots);
    for (size_t i = 1; i < kSlots; ++i) {  // slot 0 is midnight, which has no time text
      const int secs = static_cast<int>(i) * 2;
      keys.Make(i, collator_, format.TimeText(secs / 3600, secs / 60 % 60, secs % 60));
      ids.push_back(static_cast<uint32_t>(i));
    }
    std::vector<uint32_t> rank(kSlots, 0);
    RankByKeys(ids, keys, rank);
    timeRank_.assign(rank.begin(), rank.end());
  }

  const TRowStore& store_;
  const TSortOrder order_;
  const TCollator& collator_;
  const int n_;
  TKeyTable names_;
  std::vector<uint32_t> folderRank_;
  std::vector<std::string> folderKeys_;
  std::vector<uint32_t> extRank_;
  std::vector<uint32_t> timeRank_;
};

}  // namespace

void SortRows(TRowStore& store, TSortOrder order, const TCollator& collator) {
  const int n = store.FileCount();
  if (n < 2) return;
  std::vector<int> sorted = TSorter(store, order, collator).Run();
  // A blank row ranks as size 0 but stays blank: it is saved as a line of
  // tabs whatever the order.
  store.PermuteRows(1, sorted);
}

}  // namespace trawlix
