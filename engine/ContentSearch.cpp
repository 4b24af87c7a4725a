#include "engine/ContentSearch.h"

#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "engine/ScanKernels.h"
#include "engine/SearchCriteria.h"
#include "platform/CaseFold.h"
#include "platform/DirEnum.h"
#include "platform/Utf8.h"

namespace trawlix {

// ---------------------------------------------------------------------------
// Shared tables

namespace {

struct TTables {
  uint8_t identity[256];
  uint8_t lower[256];
  bool delimiter[256];
  bool utf8 = true;
  // The locale classifies ASCII only (C/POSIX): characters beyond ASCII then
  // count as letters for whole words, as most of them are.
  bool asciiClasses = true;
};

TTables g_tables;
std::once_flag g_tablesOnce;
// Bumped by every fill, so cached scanners built for older tables are
// rebuilt.
std::atomic<unsigned> g_tablesGeneration{0};

void FillTables() {
  // The lower-case table is the platform's, so the phrase folds as masks do.
  const bool utf8 = LocaleCaseUtf8();
  const uint8_t* lower = LocaleLowerTable();
  for (int b = 0; b < 256; ++b) {
    g_tables.identity[b] = static_cast<uint8_t>(b);
    g_tables.lower[b] = lower[b];
    // Under UTF-8 a byte of a multi-byte character neither folds alone nor
    // separates words; the scan decodes whole characters for both.
    g_tables.delimiter[b] = (utf8 && b >= 0x80) ? false : !std::isalnum(b);
  }
  g_tables.utf8 = utf8;
  const char* cs = nl_langinfo(CODESET);
  g_tables.asciiClasses = !cs || std::strcmp(cs, "UTF-8") != 0;
  g_tablesGeneration.fetch_add(1, std::memory_order_release);
}

inline const TTables& Tables() {
  std::call_once(g_tablesOnce, FillTables);
  return g_tables;
}

}  // namespace

void InitContentTables() { Tables(); }

void ReloadContentTables() {
  ReloadLocaleCase();
  bool filled = false;
  std::call_once(g_tablesOnce, [&] {
    FillTables();
    filled = true;
  });
  if (!filled) FillTables();
}

const uint8_t* IdentityTable() { return Tables().identity; }
const uint8_t* LowerCaseTable() { return Tables().lower; }
bool IsDelimiter(uint8_t b) { return Tables().delimiter[b]; }
bool ContentTablesUtf8() { return Tables().utf8; }

std::string LowerCasePhrase(std::string_view Phrase) {
  const TTables& t = Tables();
  if (t.utf8) return FoldUtf8(Phrase);
  std::string out(Phrase);
  for (char& c : out) c = static_cast<char>(t.lower[static_cast<uint8_t>(c)]);
  return out;
}

// ---------------------------------------------------------------------------
// The criteria

TContentCriteria::TContentCriteria() { UpdateDerived(); }

void TContentCriteria::UpdateDerived() {
  phraseLength_ = static_cast<int32_t>(std::min<size_t>(phrase_.size(), INT32_MAX));
  if (ignoreCase_) {
    comparePhrase_ = LowerCasePhrase(phrase_);
    table_ = LowerCaseTable();
  } else {
    comparePhrase_ = phrase_;
    table_ = IdentityTable();
  }
}

void TContentCriteria::SetPhrase(const std::string& v) {
  if (v == phrase_) return;
  phrase_ = v;
  UpdateDerived();
}

void TContentCriteria::SetIgnoreCase(bool v) {
  if (v == ignoreCase_) return;
  ignoreCase_ = v;
  UpdateDerived();
}

void TContentCriteria::Assign(const TPersistent* Source) {
  const auto* s = dynamic_cast<const TContentCriteria*>(Source);
  if (!s) AssignError(Source);
  SetPhrase(s->phrase_);
  SetIgnoreCase(s->ignoreCase_);
  wholeWord_ = s->wholeWord_;
}

bool TContentCriteria::Matches(const std::string& FileName, const std::atomic<bool>* Abort) const {
  if (phraseLength_ < 1) return true;
  return ScanFileForPhrase(FileName, comparePhrase_.data(), comparePhrase_.size(), wholeWord_,
                           table_, Abort);
}

// ---------------------------------------------------------------------------
// The scan

namespace {

enum class TVerdict { kNo, kYes, kMore };

// For every folded character, the characters that fold to it (itself
// excluded), built once from the folding data.
class TFoldVariants {
 public:
  static const TFoldVariants& Get() {
    static const TFoldVariants instance;
    return instance;
  }
  // All characters whose folding is c (c itself included).
  void Of(char32_t c, std::vector<char32_t>& out) const {
    out.clear();
    out.push_back(c);
    if (c >= kInvalidByteBase) return;
    auto it = sources_.find(c);
    if (it != sources_.end())
      for (char32_t s : it->second)
        if (s != c) out.push_back(s);
  }

 private:
  TFoldVariants() {
    // Every folding character of Unicode lies below U+20000.
    for (char32_t c = 0; c < 0x20000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const char32_t f = FoldChar(c);
      if (f != c) sources_[f].push_back(c);
    }
  }
  std::unordered_map<char32_t, std::vector<char32_t>> sources_;
};

// How common a byte is in text, roughly (higher is more common): spaces and
// frequent lower-case letters first, capitals, digits and punctuation
// rarer, control bytes rarest. Used to pick the phrase bytes whose
// occurrences in a file are fewest.
int ByteFrequency(uint8_t b) {
  static const char kLetters[] = "enisrtadhulocgmbfwkzpvyjxq";  // common to rare
  if (b == ' ') return 255;
  if (b == '\n') return 200;
  if (b >= 'a' && b <= 'z') {
    const char* at = std::strchr(kLetters, b);
    return 250 - 4 * static_cast<int>(at - kLetters);
  }
  if (b >= 'A' && b <= 'Z') return (250 - 4 * static_cast<int>(std::strchr(kLetters, b + 32) - kLetters)) - 110;
  if (b >= '0' && b <= '9') return 120;
  if (b == '.' || b == ',' || b == '-' || b == '\t' || b == '\r') return 150;
  if (b >= 0x80) return b == 0xC3 ? 160 : 100;
  if (b < 0x20 || b == 0x7F) return 10;
  return 90;
}

// How many hits to expect at an anchor: the most common member decides,
// every further member adds a little.
int AnchorCost(const TAnchor& a) {
  int worst = 0;
  for (int b = 0; b < 256; ++b)
    if (a.member[b]) worst = std::max(worst, ByteFrequency(static_cast<uint8_t>(b)));
  return worst + 8 * (a.count - 1);
}

// A phrase prepared for scanning: built once per phrase and settings, then
// reused for every file.
class TPhraseScanner {
 public:
  TPhraseScanner(std::string_view phrase, bool wholeWord, const uint8_t* table, unsigned generation)
      : phrase_(phrase), wholeWord_(wholeWord), table_(table), generation_(generation) {
    const TTables& t = Tables();
    lower_ = t.lower;
    delimiter_ = t.delimiter;
    utf8Words_ = t.utf8;
    asciiClasses_ = t.asciiClasses;
    fold_ = t.utf8 && table == t.lower;
    identity_ = table == t.identity;
    std::vector<TAnchor> candidates;
    if (fold_)
      PrepareFold(candidates);
    else
      PrepareBytes(candidates);
    ChooseAnchors(candidates);
    // Bytes a decision at p may look at beyond p: the longest encoding of
    // the phrase plus one character after it for a whole word.
    lookahead_ = maxBytes_ + (wholeWord_ ? 4 : 0);
  }

  bool SameAs(std::string_view phrase, bool wholeWord, const uint8_t* table,
              unsigned generation) const {
    return wholeWord == wholeWord_ && table == table_ && generation == generation_ &&
           phrase == phrase_;
  }

  // True when no file can hold the phrase (a phrase byte no file byte
  // translates to).
  bool Impossible() const { return impossible_; }
  uint64_t MinBytes() const { return minBytes_; }
  size_t BufferSize() const {
    // Room for the longest partial match, the context around it and a good
    // block of new bytes, so every refill makes progress.
    return std::max(kContentBlockSize, lookahead_ + 4 + 4096);
  }

  bool Scan(int fd, uint64_t fileSize, const std::atomic<bool>* abort) const;

 private:
  // Fill `candidates` with one anchor per byte offset whose byte set is
  // known (every offset for bytes, the fixed-length start of a folded
  // phrase); the one at offset 0 comes first.
  void PrepareBytes(std::vector<TAnchor>& candidates);
  void PrepareFold(std::vector<TAnchor>& candidates);
  void ChooseAnchors(const std::vector<TAnchor>& candidates);

  // Decides the candidate at p: the phrase lies there (and, for whole
  // words, stands between boundaries), it does not, or the bytes in the
  // buffer end before that can be told.
  TVerdict Verify(const uint8_t* buf, size_t n, size_t p, bool eof, bool atFileStart) const;
  TVerdict MatchAt(const uint8_t* buf, size_t n, size_t p, bool eof, size_t& end) const;
  bool BoundaryBefore(const uint8_t* buf, size_t p, bool atFileStart) const;
  TVerdict BoundaryAfter(const uint8_t* buf, size_t n, size_t e, bool eof) const;
  bool IsWordChar(char32_t c) const;

  // Tests the candidates in [from, to) that the kernel lets through with
  // Verify; they must all decide without kMore, and every start below `to`
  // has all anchor bytes inside the buffer. True on a match.
  bool SearchRange(TFindCandidateFn find, const uint8_t* buf, size_t n, size_t from, size_t to,
                   bool eof, bool atFileStart) const;

  std::string phrase_;
  bool wholeWord_;
  const uint8_t* table_;
  unsigned generation_;
  const uint8_t* lower_ = nullptr;
  const bool* delimiter_ = nullptr;
  bool fold_ = false;
  bool identity_ = false;
  bool utf8Words_ = true;
  bool asciiClasses_ = false;
  bool impossible_ = false;
  std::u32string units_;  // fold mode: the folded phrase characters
  uint64_t minBytes_ = 0;
  size_t maxBytes_ = 0;
  size_t lookahead_ = 0;
  TAnchor start_;             // the bytes a match can begin with
  TCandidateFilter filter_;   // the rarest two positions of the phrase
};

void TPhraseScanner::PrepareBytes(std::vector<TAnchor>& candidates) {
  minBytes_ = maxBytes_ = phrase_.size();
  const auto bytes = reinterpret_cast<const uint8_t*>(phrase_.data());
  // Inverse of the table, so each offset costs one pass over its preimage.
  std::vector<uint8_t> pre[256];
  for (int b = 0; b < 256; ++b) pre[table_[b]].push_back(static_cast<uint8_t>(b));
  // Long phrases: offsets beyond the first few thousand add nothing.
  const size_t limit = std::min<size_t>(phrase_.size(), 4096);
  candidates.resize(limit);
  for (size_t i = 0; i < limit; ++i) {
    TAnchor& a = candidates[i];
    a.offset = i;
    for (uint8_t b : pre[bytes[i]]) a.Add(b);
    if (a.count == 0) impossible_ = true;
  }
  for (size_t i = limit; i < phrase_.size() && !impossible_; ++i)
    if (pre[bytes[i]].empty()) impossible_ = true;
}

void TPhraseScanner::PrepareFold(std::vector<TAnchor>& candidates) {
  const TFoldVariants& variants = TFoldVariants::Get();
  FoldToUtf32(phrase_, units_);

  std::vector<char32_t> vs;
  std::string enc[8];
  bool fixedSoFar = true;
  for (size_t i = 0; i < units_.size(); ++i) {
    variants.Of(units_[i], vs);
    size_t lo = SIZE_MAX, hi = 0;
    for (char32_t v : vs) {
      lo = std::min(lo, Utf8EncodedLength(v));
      hi = std::max(hi, Utf8EncodedLength(v));
    }
    if (lo != hi || vs.size() > 8) fixedSoFar = false;
    // While every character so far has encodings of one length only, the
    // byte offsets are fixed and each byte of this character is an anchor.
    if (fixedSoFar && candidates.size() < 4096) {
      for (size_t k = 0; k < vs.size(); ++k) {
        enc[k].clear();
        AppendUtf8(enc[k], vs[k]);
      }
      for (size_t j = 0; j < lo; ++j) {
        TAnchor a;
        a.offset = maxBytes_ + j;
        for (size_t k = 0; k < vs.size(); ++k) a.Add(static_cast<uint8_t>(enc[k][j]));
        candidates.push_back(a);
      }
    } else if (i == 0) {
      TAnchor a;
      for (char32_t v : vs) {
        std::string e;
        AppendUtf8(e, v);
        a.Add(static_cast<uint8_t>(e[0]));
      }
      candidates.push_back(a);
    }
    minBytes_ += lo;
    maxBytes_ += hi;
  }
}

void TPhraseScanner::ChooseAnchors(const std::vector<TAnchor>& candidates) {
  if (candidates.empty()) {
    impossible_ = true;
    return;
  }
  start_ = candidates[0];
  std::vector<int> cost(candidates.size());
  for (size_t i = 0; i < candidates.size(); ++i) cost[i] = AnchorCost(candidates[i]);
  // The rarest offset, then the rarest other one (the same again when the
  // phrase gives only one).
  size_t best = 0;
  for (size_t i = 1; i < candidates.size(); ++i)
    if (cost[i] < cost[best]) best = i;
  size_t second = best;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (i == best) continue;
    if (second == best || cost[i] < cost[second]) second = i;
  }
  filter_.first = candidates[best];
  filter_.second = candidates[second];
}

bool TPhraseScanner::IsWordChar(char32_t c) const {
  if (c < 0x80) return std::isalnum(static_cast<int>(c)) != 0;
  // A byte that is no UTF-8 character most likely belongs to a letter of
  // another encoding.
  if (c >= kInvalidByteBase) return true;
  if (asciiClasses_) return true;
  return std::iswalnum(static_cast<wint_t>(c)) != 0;
}

bool TPhraseScanner::BoundaryBefore(const uint8_t* buf, size_t p, bool atFileStart) const {
  if (p == 0) return atFileStart;  // the caller keeps context before p otherwise
  if (!utf8Words_ || buf[p - 1] < 0x80) return delimiter_[buf[p - 1]];
  return !IsWordChar(DecodeUtf8Before(reinterpret_cast<const char*>(buf),
                                       reinterpret_cast<const char*>(buf + p)));
}

TVerdict TPhraseScanner::BoundaryAfter(const uint8_t* buf, size_t n, size_t e, bool eof) const {
  if (e >= n) return eof ? TVerdict::kYes : TVerdict::kMore;
  const uint8_t b = buf[e];
  if (!utf8Words_ || b < 0x80) return delimiter_[b] ? TVerdict::kYes : TVerdict::kNo;
  if (e + Utf8SequenceLength(b) > n && !eof) return TVerdict::kMore;
  const char* s = reinterpret_cast<const char*>(buf + e);
  const char32_t c = DecodeUtf8(s, reinterpret_cast<const char*>(buf + n));
  return IsWordChar(c) ? TVerdict::kNo : TVerdict::kYes;
}

TVerdict TPhraseScanner::MatchAt(const uint8_t* buf, size_t n, size_t p, bool eof,
                                 size_t& end) const {
  if (!fold_) {
    const size_t len = phrase_.size();
    const auto bytes = reinterpret_cast<const uint8_t*>(phrase_.data());
    const size_t avail = n - p;
    const size_t k = std::min(avail, len);
    if (identity_) {
      if (std::memcmp(buf + p, bytes, k) != 0) return TVerdict::kNo;
    } else {
      for (size_t i = 0; i < k; ++i)
        if (table_[buf[p + i]] != bytes[i]) return TVerdict::kNo;
    }
    if (k < len) return eof ? TVerdict::kNo : TVerdict::kMore;
    end = p + len;
    return TVerdict::kYes;
  }
  size_t q = p;
  for (char32_t want : units_) {
    if (q >= n) return eof ? TVerdict::kNo : TVerdict::kMore;
    const uint8_t b = buf[q];
    if (b < 0x80) {
      if (lower_[b] != want) return TVerdict::kNo;
      ++q;
      continue;
    }
    if (q + Utf8SequenceLength(b) > n && !eof) return TVerdict::kMore;
    const char* s = reinterpret_cast<const char*>(buf + q);
    const char32_t c = FoldChar(DecodeUtf8(s, reinterpret_cast<const char*>(buf + n)));
    if (c != want) return TVerdict::kNo;
    q = static_cast<size_t>(reinterpret_cast<const uint8_t*>(s) - buf);
  }
  end = q;
  return TVerdict::kYes;
}

TVerdict TPhraseScanner::Verify(const uint8_t* buf, size_t n, size_t p, bool eof,
                                bool atFileStart) const {
  if (wholeWord_ && !BoundaryBefore(buf, p, atFileStart)) return TVerdict::kNo;
  size_t end = 0;
  const TVerdict v = MatchAt(buf, n, p, eof, end);
  if (v != TVerdict::kYes || !wholeWord_) return v;
  return BoundaryAfter(buf, n, end, eof);
}

bool TPhraseScanner::SearchRange(TFindCandidateFn find, const uint8_t* buf, size_t n,
                                 size_t from, size_t to, bool eof, bool atFileStart) const {
  for (size_t p = find(filter_, buf, from, to); p < to; p = find(filter_, buf, p + 1, to))
    if (Verify(buf, n, p, eof, atFileStart) == TVerdict::kYes) return true;
  return false;
}

bool TPhraseScanner::Scan(int fd, uint64_t fileSize, const std::atomic<bool>* abort) const {
  const size_t cap = BufferSize();
  // One buffer per thread, reused by every scan of that thread.
  thread_local std::unique_ptr<uint8_t[]> buffer;
  thread_local size_t bufferSize = 0;
  if (bufferSize < cap) {
    buffer.reset();
    bufferSize = 0;
    buffer.reset(new (std::nothrow) uint8_t[cap]);
    if (!buffer) return false;
    bufferSize = cap;
  }
  uint8_t* const buf = buffer.get();
  // The kernel chosen now serves the whole file.
  const TFindCandidateFn find = ScanKernelFunction(ActiveScanKernel());

  // A file smaller than a block is read whole at once, asking for one byte
  // more than its size so that its end is seen without a second read.
  size_t want = fileSize + 1 < cap ? static_cast<size_t>(fileSize) + 1 : cap;
  size_t n = 0;             // valid bytes in buf
  size_t from = 0;          // first candidate start not yet decided
  bool atFileStart = true;  // buf[0] is the first byte of the file
  for (;;) {
    if (abort && abort->load(std::memory_order_relaxed)) return false;
    // A short read is the end of the file (a regular file returns fewer
    // bytes than asked for only there); a failed read counts as the end too.
    ssize_t r;
    do {
      r = ::read(fd, buf + n, want - n);
    } while (r < 0 && errno == EINTR);
    const bool eof = r < static_cast<ssize_t>(want - n);
    if (r > 0) n += static_cast<size_t>(r);
    want = cap;  // a file that grew meanwhile goes on in whole blocks

    if (eof) {
      if (n < minBytes_ || from + minBytes_ > n) return false;
      return SearchRange(find, buf, n, from, n - minBytes_ + 1, true, atFileStart);
    }
    // Starts whose decision fits in the buffer for sure.
    const size_t safeEnd = n >= lookahead_ ? n - lookahead_ + 1 : 0;
    if (safeEnd > from) {
      if (SearchRange(find, buf, n, from, safeEnd, false, atFileStart)) return true;
      from = safeEnd;
    }
    // The last starts may need bytes of the next block: decide what can be
    // decided and carry the rest over.
    size_t undecided = n;
    for (size_t p = from; p < n; ++p) {
      if (!start_.member[buf[p]]) continue;
      const TVerdict v = Verify(buf, n, p, false, atFileStart);
      if (v == TVerdict::kYes) return true;
      if (v == TVerdict::kMore) {
        undecided = p;
        break;
      }
    }
    // Keep up to four bytes before the first undecided start: the character
    // before it decides a whole word. The buffer is large enough for the
    // longest undecided match with its context and then some, so every
    // round reads new bytes.
    const size_t keep = undecided >= 4 ? undecided - 4 : 0;
    std::memmove(buf, buf + keep, n - keep);
    n -= keep;
    from = undecided - keep;
    if (keep > 0) atFileStart = false;
  }
}

struct TFd {
  int fd = -1;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool ScanFileForPhrase(const std::string& FileName, const char* Phrase, size_t Length,
                       bool WholeWord, const uint8_t* Table,
                       const std::atomic<bool>* Abort) noexcept {
  if (Length == 0 || !Phrase || !Table) return false;
  try {
    const std::string_view phrase(Phrase, Length);
    Tables();
    const unsigned generation = g_tablesGeneration.load(std::memory_order_acquire);
    thread_local std::unique_ptr<TPhraseScanner> cached;
    if (!cached || !cached->SameAs(phrase, WholeWord, Table, generation))
      cached = std::make_unique<TPhraseScanner>(phrase, WholeWord, Table, generation);
    const TPhraseScanner& scanner = *cached;
    if (scanner.Impossible()) return false;

    // Look first, open only a regular file, and make sure the file opened is
    // the one looked at: a device or FIFO put in its place meanwhile is
    // opened without blocking and let go unread.
    // A path too long for the system is taken relative to its folder.
    TFd folder;
    const char* name = FileName.c_str();
    if (FileName.size() >= PATH_MAX) {
      const size_t slash = FileName.rfind('/');
      if (slash == std::string::npos) return false;
      folder.fd = OpenPath(FileName.substr(0, slash + 1), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (folder.fd < 0) return false;
      name += slash + 1;
    }
    const int at = folder.fd >= 0 ? folder.fd : AT_FDCWD;
    struct stat st;
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
    TFd f;
    f.fd = ::openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (f.fd < 0) return false;
    struct stat st2;
    if (::fstat(f.fd, &st2) != 0 || !S_ISREG(st2.st_mode) || st2.st_ino != st.st_ino ||
        st2.st_dev != st.st_dev)
      return false;
    const uint64_t size = static_cast<uint64_t>(st2.st_size);
    if (size < scanner.MinBytes()) return false;
    return scanner.Scan(f.fd, size, Abort);
  } catch (...) {
    return false;
  }
}

}  // namespace trawlix
