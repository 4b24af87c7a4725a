#include "tree/ReadableName.h"

namespace trawlix {

namespace {

// Length of the well-formed UTF-8 sequence at p[0..n), 0 when there is none
// (stray byte, truncated, overlong, surrogate or beyond U+10FFFF); cp gets
// its code point.
size_t Utf8Sequence(const unsigned char* p, size_t n, char32_t& cp) {
  const unsigned char b = p[0];
  size_t len;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2, cp = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3, cp = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4, cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

QString ReadableName(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  QString out;
  out.reserve(static_cast<qsizetype>(n));
  for (size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    if (b < 0x20 || b == 0x7F) {
      out += QChar(static_cast<char16_t>(b == 0x7F ? 0x2421 : 0x2400 + b));
      ++i;
    } else if (b < 0x80) {
      out += QLatin1Char(static_cast<char>(b));
      ++i;
    } else if (char32_t cp = 0; const size_t len = Utf8Sequence(p + i, n - i, cp)) {
      out += QString::fromUcs4(&cp, 1);
      i += len;
    } else {
      static const char hex[] = "0123456789ABCDEF";
      out += QLatin1String("\\x");
      out += QLatin1Char(hex[b >> 4]);
      out += QLatin1Char(hex[b & 15]);
      ++i;
    }
  }
  return out;
}

}  // namespace trawlix
