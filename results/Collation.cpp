#include "results/Collation.h"

#include <unicode/ucol.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/CaseFold.h"

namespace trawlix {

namespace {

bool IsCOrPosix(const char* name) {
  return !name || !*name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
         std::strncmp(name, "C.", 2) == 0;
}

// Decodes text into UTF-16 for ICU; stray bytes become U+FFFD. Returns
// whether the text was valid UTF-8.
bool ToUtf16(std::string_view text, std::u16string& out) {
  out.clear();
  bool valid = true;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const unsigned char b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
      out.push_back(static_cast<char16_t>(b));
      ++p;
      continue;
    }
    char32_t c = DecodeUtf8(p, end);
    if (c >= kInvalidByteBase) {
      valid = false;
      c = 0xFFFD;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return valid;
}

}  // namespace

std::string TCollator::UserLocale() {
  const char* name = std::getenv("LC_ALL");
  if (!name || !*name) name = std::getenv("LC_COLLATE");
  if (!name || !*name) name = std::getenv("LANG");
  if (IsCOrPosix(name)) return "de_DE";
  std::string locale(name);
  const size_t cut = locale.find_first_of(".@");
  if (cut != std::string::npos) locale.resize(cut);
  return locale.empty() ? "de_DE" : locale;
}

TCollator::TCollator(const std::string& locale) {
  UErrorCode status = U_ZERO_ERROR;
  collator_ = ucol_open(locale.c_str(), &status);
  if (U_FAILURE(status) || !collator_) {
    status = U_ZERO_ERROR;
    collator_ = ucol_open("", &status);
  }
  if (U_FAILURE(status) || !collator_)
    throw std::runtime_error("Die Sortierfolge kann nicht geladen werden");
  ucol_setStrength(collator_, UCOL_SECONDARY);
  // Punctuation and blanks take part in the order, as every character of a
  // name does.
  status = U_ZERO_ERROR;
  ucol_setAttribute(collator_, UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
}

TCollator::~TCollator() {
  if (collator_) ucol_close(collator_);
}

const TCollator& TCollator::User() {
  static const TCollator collator;
  return collator;
}

void TCollator::AppendSortKey(std::string_view text, std::string& out) const {
  thread_local std::u16string utf16;
  const bool valid = ToUtf16(text, utf16);
  const size_t start = out.size();
  size_t room = utf16.size() * 4 + 16;
  for (;;) {
    out.resize(start + room);
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + start);
    const int32_t n =
        ucol_getSortKey(collator_, reinterpret_cast<const UChar*>(utf16.data()),
                        static_cast<int32_t>(utf16.size()), dst, static_cast<int32_t>(room));
    if (n <= 0) {  // cannot happen for a valid collator; keep the order total anyway
      out.resize(start);
      out.push_back('\0');
      break;
    }
    if (static_cast<size_t>(n) <= room) {
      out.resize(start + static_cast<size_t>(n));  // n counts the closing zero byte
      break;
    }
    room = static_cast<size_t>(n);
  }
  if (!valid) out.append(text);
}

std::string TCollator::SortKey(std::string_view text) const {
  std::string key;
  AppendSortKey(text, key);
  return key;
}

int TCollator::Compare(std::string_view a, std::string_view b) const {
  const std::string ka = SortKey(a), kb = SortKey(b);
  const int c = ka.compare(kb);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace trawlix
