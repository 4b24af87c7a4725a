#include "platform/CaseFold.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <mutex>

namespace trawlix {

namespace {

struct FoldPair {
  char32_t from;
  char32_t to;
};

constexpr FoldPair kFoldTable[] = {
#include "platform/CaseFoldTable.inc"
};

}  // namespace

char32_t FoldChar(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= kInvalidByteBase) return c;
  const auto* it = std::lower_bound(std::begin(kFoldTable), std::end(kFoldTable), c,
                                    [](const FoldPair& p, char32_t v) { return p.from < v; });
  if (it != std::end(kFoldTable) && it->from == c) return it->to;
  return c;
}

std::string FoldUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    const unsigned char b = static_cast<unsigned char>(*p);
    if (b < 0x80) {
      out.push_back(static_cast<char>((b >= 'A' && b <= 'Z') ? b + 32 : b));
      ++p;
      continue;
    }
    AppendUtf8(out, FoldChar(DecodeUtf8(p, end)));
  }
  return out;
}

void FoldToUtf32(std::string_view text, std::u32string& out) {
  out.clear();
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) out.push_back(FoldChar(DecodeUtf8(p, end)));
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

namespace {

struct TLocaleCase {
  uint8_t lower[256];
  bool utf8 = true;
};

TLocaleCase g_localeCase;
std::once_flag g_localeCaseOnce;

void FillLocaleCase() {
  const bool utf8 = LocaleIsUtf8();
  for (int b = 0; b < 256; ++b) {
    if (utf8)
      g_localeCase.lower[b] = static_cast<uint8_t>((b >= 'A' && b <= 'Z') ? b + 32 : b);
    else
      g_localeCase.lower[b] = static_cast<uint8_t>(std::tolower(b));
  }
  g_localeCase.utf8 = utf8;
}

const TLocaleCase& LocaleCase() {
  std::call_once(g_localeCaseOnce, FillLocaleCase);
  return g_localeCase;
}

}  // namespace

const uint8_t* LocaleLowerTable() { return LocaleCase().lower; }
bool LocaleCaseUtf8() { return LocaleCase().utf8; }

void ReloadLocaleCase() {
  bool filled = false;
  std::call_once(g_localeCaseOnce, [&] {
    FillLocaleCase();
    filled = true;
  });
  if (!filled) FillLocaleCase();
}

bool FoldBytesForMatch(std::string_view text, std::string& bytes) {
  const TLocaleCase& lc = LocaleCase();
  if (lc.utf8 && !IsAscii(text)) return false;
  bytes.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    bytes[i] = static_cast<char>(lc.lower[static_cast<uint8_t>(text[i])]);
  return true;
}

bool LocaleIsUtf8() {
  const char* cs = nl_langinfo(CODESET);
  if (!cs) return true;
  return std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0 ||
         std::strcmp(cs, "ANSI_X3.4-1968") == 0;
}

}  // namespace trawlix
