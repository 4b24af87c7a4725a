#include "engine/ContentSearch.h"

#include <emmintrin.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

#include "engine/SearchCriteria.h"
#include "platform/CaseFold.h"

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
  const bool utf8 = LocaleIsUtf8();
  for (int b = 0; b < 256; ++b) {
    g_tables.identity[b] = static_cast<uint8_t>(b);
    if (utf8 && b >= 0x80) {
      // A byte of a multi-byte character: it neither folds alone nor
      // separates words; the scan decodes whole characters for both.
      g_tables.lower[b] = static_cast<uint8_t>(b);
      g_tables.delimiter[b] = false;
    } else if (utf8) {
      g_tables.lower[b] = static_cast<uint8_t>((b >= 'A' && b <= 'Z') ? b + 32 : b);
      g_tables.delimiter[b] = !std::isalnum(b);
    } else {
      g_tables.lower[b] = static_cast<uint8_t>(std::tolower(b));
      g_tables.delimiter[b] = !std::isalnum(b);
    }
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

bool TContentCriteria::Matches(const std::string& FileName) const {
  if (phraseLength_ < 1) return true;
  return ScanFileForPhrase(FileName, comparePhrase_.data(), comparePhrase_.size(), wholeWord_,
                           table_);
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

size_t Utf8Length(char32_t c) {
  if (c >= kInvalidByteBase || c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c < 0x10000) return 3;
  return 4;
}

// Length of the UTF-8 sequence a lead byte announces (1 for anything else).
inline size_t SequenceLength(uint8_t b) {
  if (b < 0xC0) return 1;
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  if (b < 0xF8) return 4;
  return 1;
}

// One byte position of the phrase used to pick candidates quickly: every
// candidate start p has buf[p + offset] in the set.
struct TAnchor {
  size_t offset = 0;
  bool member[256] = {};
  uint8_t values[4] = {};
  int count = 0;  // number of distinct values; > 4 means "use member only"

  void Add(uint8_t b) {
    if (member[b]) return;
    member[b] = true;
    if (count < 4) values[count] = b;
    ++count;
  }
};

// A phrase prepared for scanning: built once per phrase and settings, then
// reused for every file.
class TPhraseScanner {
 public:
  TPhraseScanner(std::string_view phrase, bool wholeWord, const uint8_t* table, unsigned generation)
      : phrase_(phrase), wholeWord_(wholeWord), table_(table), generation_(generation) {
    const TTables& t = Tables();
    utf8Words_ = t.utf8;
    asciiClasses_ = t.asciiClasses;
    fold_ = t.utf8 && table == t.lower;
    identity_ = table == t.identity;
    if (fold_)
      PrepareFold();
    else
      PrepareBytes();
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

  bool Scan(int fd, uint64_t fileSize) const;

 private:
  void PrepareBytes();
  void PrepareFold();

  // Decides the candidate at p: the phrase lies there (and, for whole
  // words, stands between boundaries), it does not, or the bytes in the
  // buffer end before that can be told.
  TVerdict Verify(const uint8_t* buf, size_t n, size_t p, bool eof, bool atFileStart) const;
  TVerdict MatchAt(const uint8_t* buf, size_t n, size_t p, bool eof, size_t& end) const;
  bool BoundaryBefore(const uint8_t* buf, size_t p, bool atFileStart) const;
  TVerdict BoundaryAfter(const uint8_t* buf, size_t n, size_t e, bool eof) const;
  bool IsWordChar(char32_t c) const;

  // Tests the candidates in [from, to) with Verify; they must all decide
  // without kMore. True on a match.
  bool SearchRange(const uint8_t* buf, size_t n, size_t from, size_t to, bool eof,
                   bool atFileStart) const;

  std::string phrase_;
  bool wholeWord_;
  const uint8_t* table_;
  unsigned generation_;
  bool fold_ = false;
  bool identity_ = false;
  bool utf8Words_ = true;
  bool asciiClasses_ = false;
  bool impossible_ = false;
  std::u32string units_;  // fold mode: the folded phrase characters
  uint64_t minBytes_ = 0;
  size_t maxBytes_ = 0;
  size_t lookahead_ = 0;
  TAnchor anchors_[2];
  int anchorCount_ = 0;
};

void TPhraseScanner::PrepareBytes() {
  minBytes_ = maxBytes_ = phrase_.size();
  const auto bytes = reinterpret_cast<const uint8_t*>(phrase_.data());
  auto fill = [&](TAnchor& a, size_t offset) {
    a.offset = offset;
    for (int b = 0; b < 256; ++b)
      if (table_[b] == bytes[offset]) a.Add(static_cast<uint8_t>(b));
    if (a.count == 0) impossible_ = true;
  };
  fill(anchors_[0], 0);
  anchorCount_ = 1;
  if (phrase_.size() >= 2) {
    fill(anchors_[1], phrase_.size() - 1);
    anchorCount_ = 2;
  }
}

void TPhraseScanner::PrepareFold() {
  const TFoldVariants& variants = TFoldVariants::Get();
  const char* p = phrase_.data();
  const char* end = p + phrase_.size();
  while (p < end) units_.push_back(FoldChar(DecodeUtf8(p, end)));

  std::vector<char32_t> vs;
  bool fixedLength = true;
  std::string enc;
  for (size_t i = 0; i < units_.size(); ++i) {
    variants.Of(units_[i], vs);
    size_t lo = SIZE_MAX, hi = 0;
    for (char32_t v : vs) {
      lo = std::min(lo, Utf8Length(v));
      hi = std::max(hi, Utf8Length(v));
    }
    minBytes_ += lo;
    maxBytes_ += hi;
    if (lo != hi) fixedLength = false;
    if (i == 0) {
      anchors_[0].offset = 0;
      for (char32_t v : vs) {
        enc.clear();
        AppendUtf8(enc, v);
        anchors_[0].Add(static_cast<uint8_t>(enc[0]));
      }
      anchorCount_ = 1;
    }
  }
  // When every character has encodings of one length only, the byte offset
  // of the last character is fixed: its last byte is a second anchor.
  if (fixedLength && units_.size() >= 2) {
    variants.Of(units_.back(), vs);
    anchors_[1].offset = maxBytes_ - 1;
    for (char32_t v : vs) {
      enc.clear();
      AppendUtf8(enc, v);
      anchors_[1].Add(static_cast<uint8_t>(enc.back()));
    }
    anchorCount_ = 2;
  }
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
  if (!utf8Words_) return Tables().delimiter[buf[p - 1]];
  if (buf[p - 1] < 0x80) return Tables().delimiter[buf[p - 1]];
  // Find the start of the character that ends at p.
  size_t q = p - 1;
  while (q > 0 && p - q < 4 && (buf[q] & 0xC0) == 0x80) --q;
  const char* s = reinterpret_cast<const char*>(buf + q);
  const char* e = reinterpret_cast<const char*>(buf + p);
  char32_t c = DecodeUtf8(s, e);
  if (s != e) c = kInvalidByteBase + buf[p - 1];
  return !IsWordChar(c);
}

TVerdict TPhraseScanner::BoundaryAfter(const uint8_t* buf, size_t n, size_t e, bool eof) const {
  if (e >= n) return eof ? TVerdict::kYes : TVerdict::kMore;
  const uint8_t b = buf[e];
  if (!utf8Words_ || b < 0x80) return Tables().delimiter[b] ? TVerdict::kYes : TVerdict::kNo;
  if (e + SequenceLength(b) > n && !eof) return TVerdict::kMore;
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
      if (Tables().lower[b] != want) return TVerdict::kNo;
      ++q;
      continue;
    }
    if (q + SequenceLength(b) > n && !eof) return TVerdict::kMore;
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

bool TPhraseScanner::SearchRange(const uint8_t* buf, size_t n, size_t from, size_t to, bool eof,
                                 bool atFileStart) const {
  size_t p = from;
  const TAnchor& a0 = anchors_[0];
  const bool two = anchorCount_ == 2;
  const TAnchor& a1 = anchors_[two ? 1 : 0];
  const size_t off1 = a1.offset;

  // Sixteen candidate starts at a time: compare the first anchor's bytes
  // and the second anchor's bytes with their sets and test only the starts
  // where both fit. Every start below `to` has its second anchor byte
  // inside the buffer.
  if (a0.count <= 4 && a1.count <= 4) {
    auto broadcast = [](const TAnchor& a, __m128i (&v)[4]) {
      for (int i = 0; i < 4; ++i)
        v[i] = _mm_set1_epi8(static_cast<char>(a.values[i < a.count ? i : 0]));
    };
    __m128i v0[4], v1[4];
    broadcast(a0, v0);
    broadcast(a1, v1);
    auto hits = [](__m128i x, const __m128i (&v)[4], int count) {
      __m128i m = _mm_cmpeq_epi8(x, v[0]);
      if (count > 1) m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[1]));
      if (count > 2) {
        m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[2]));
        m = _mm_or_si128(m, _mm_cmpeq_epi8(x, v[3]));
      }
      return m;
    };
    const int c0 = a0.count, c1 = a1.count;
    while (p + 16 <= to) {
      const __m128i x0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + p));
      __m128i m = hits(x0, v0, c0);
      if (two) {
        const __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + p + off1));
        m = _mm_and_si128(m, hits(x1, v1, c1));
      }
      unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(m));
      while (bits) {
        const size_t c = p + static_cast<size_t>(__builtin_ctz(bits));
        bits &= bits - 1;
        if (Verify(buf, n, c, eof, atFileStart) == TVerdict::kYes) return true;
      }
      p += 16;
    }
  }
  for (; p < to; ++p) {
    if (!a0.member[buf[p]]) continue;
    if (two && !a1.member[buf[p + off1]]) continue;
    if (Verify(buf, n, p, eof, atFileStart) == TVerdict::kYes) return true;
  }
  return false;
}

bool TPhraseScanner::Scan(int fd, uint64_t fileSize) const {
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

  // A file smaller than a block is read whole at once, asking for one byte
  // more than its size so that its end is seen without a second read.
  size_t want = fileSize + 1 < cap ? static_cast<size_t>(fileSize) + 1 : cap;
  size_t n = 0;             // valid bytes in buf
  size_t from = 0;          // first candidate start not yet decided
  bool atFileStart = true;  // buf[0] is the first byte of the file
  for (;;) {
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
      return SearchRange(buf, n, from, n - minBytes_ + 1, true, atFileStart);
    }
    // Starts whose decision fits in the buffer for sure.
    const size_t safeEnd = n >= lookahead_ ? n - lookahead_ + 1 : 0;
    if (safeEnd > from) {
      if (SearchRange(buf, n, from, safeEnd, false, atFileStart)) return true;
      from = safeEnd;
    }
    // The last starts may need bytes of the next block: decide what can be
    // decided and carry the rest over.
    size_t undecided = n;
    for (size_t p = from; p < n; ++p) {
      if (!anchors_[0].member[buf[p]]) continue;
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
                       bool WholeWord, const uint8_t* Table) noexcept {
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
    struct stat st;
    if (::lstat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    TFd f;
    f.fd = ::open(FileName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (f.fd < 0) return false;
    struct stat st2;
    if (::fstat(f.fd, &st2) != 0 || !S_ISREG(st2.st_mode) || st2.st_ino != st.st_ino ||
        st2.st_dev != st.st_dev)
      return false;
    const uint64_t size = static_cast<uint64_t>(st2.st_size);
    if (size < scanner.MinBytes()) return false;
    return scanner.Scan(f.fd, size);
  } catch (...) {
    return false;
  }
}

}  // namespace trawlix
