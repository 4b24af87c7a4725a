#include "platform/Utf8.h"

namespace trawlix {

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


char32_t DecodeUtf8Before(const char* begin, const char* p) {
  const auto byte = [](const char* at) { return static_cast<unsigned char>(*at); };
  const char* q = p - 1;
  while (q > begin && p - q < 4 && (byte(q) & 0xC0) == 0x80) --q;
  const char* s = q;
  const char32_t c = DecodeUtf8(s, p);
  if (s == p) return c;
  // What starts there is no sequence that ends at p: the last byte stands
  // alone.
  s = p - 1;
  return DecodeUtf8(s, p);
}

}  // namespace trawlix
