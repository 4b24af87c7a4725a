#include "platform/CaseFold.h"

#include <langinfo.h>

#include <algorithm>
#include <cstring>
#include <iterator>

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

char32_t DecodeUtf8(const char*& p, const char* end) {
  const auto* s = reinterpret_cast<const unsigned char*>(p);
  const unsigned char b0 = s[0];
  if (b0 < 0x80) {
    ++p;
    return b0;
  }
  const ptrdiff_t avail = end - p;
  int len;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++p;
    return kInvalidByteBase + b0;
  }
  if (avail < len) {
    ++p;
    return kInvalidByteBase + b0;
  }
  for (int i = 1; i < len; ++i) {
    if ((s[i] & 0xC0) != 0x80) {
      ++p;
      return kInvalidByteBase + b0;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++p;
    return kInvalidByteBase + b0;
  }
  p += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c >= kInvalidByteBase) {
    out.push_back(static_cast<char>(c - kInvalidByteBase));
  } else if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

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

bool LocaleIsUtf8() {
  const char* cs = nl_langinfo(CODESET);
  if (!cs) return true;
  return std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0 ||
         std::strcmp(cs, "ANSI_X3.4-1968") == 0;
}

}  // namespace trawlix
