#include "tree/ReadableName.h"

#include "platform/CaseFold.h"

namespace trawlix {

QString ReadableName(std::string_view bytes) {
  // Fast path: printable ASCII decodes as it is.
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
  const char* s = bytes.data();
  const char* end = s + n;
  while (s < end) {
    const char* from = s;
    const char32_t c = DecodeUtf8(s, end);
    if (c >= kInvalidByteBase) {
      escape(static_cast<unsigned char>(c - kInvalidByteBase));
    } else if (c < 0x20) {
      out += QChar(static_cast<char16_t>(0x2400 + c));
    } else if (c == 0x7F) {
      out += QChar(static_cast<char16_t>(0x2421));
    } else if (c >= 0x80 && c < 0xA0) {
      // C1 control characters draw as nothing; show their bytes.
      for (const char* b = from; b < s; ++b) escape(static_cast<unsigned char>(*b));
    } else {
      out += QString::fromUcs4(&c, 1);
    }
  }
  return out;
}

}  // namespace trawlix
