#include "winapi/CaseFold.h"

#include "winapi/Utf16.h"

namespace quillon::winapi {

char32_t FoldCase(char32_t c) {
  if (c < 0x80)
    return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
    return c - 0x20;
  if (c == 0xFF)
    return 0x178;
  // Latin Extended-A pairs: upper at even code points up to U+0137 and from U+014A to U+0177,
  // at odd ones from U+0139 to U+0148 and from U+0179 to U+017E.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c & 1) ? c - 1 : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? c : c - 1;
  if (c == 0x3C2) // final sigma
    return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB)
    return c - 0x20;
  if (c == 0x3AC)
    return 0x386;
  if (c >= 0x3AD && c <= 0x3AF)
    return c - 37;
  if (c == 0x3CC)
    return 0x38C;
  if (c == 0x3CD || c == 0x3CE)
    return c - 63;
  if (c >= 0x430 && c <= 0x44F)
    return c - 0x20;
  if (c >= 0x450 && c <= 0x45F)
    return c - 0x50;
  return c;
}

std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  cp = 0xDC00 + b0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0)
      lo = 0xA0; // overlong
    if (b0 == 0xED)
      hi = 0x9F; // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0)
      lo = 0x90;
    if (b0 == 0xF4)
      hi = 0x8F;
  } else {
    return 1;
  }
  if (i + len > s.size() || byte(i + 1) < lo || byte(i + 1) > hi)
    return 1;
  char32_t value = b0 & (0xFF >> (len + 1));
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80)
      return 1;
    value = (value << 6) | (b & 0x3F);
  }
  cp = value;
  return len;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) // folding keeps lengths
    return false;
  return CompareNames(a, b) == 0;
}

int CompareNames(std::string_view a, std::string_view b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t ca = 0, cb = 0;
    i += DecodeUtf8(a, i, ca);
    j += DecodeUtf8(b, j, cb);
    ca = FoldCase(ca);
    cb = FoldCase(cb);
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  return (i < a.size()) - (j < b.size());
}

std::string FoldedName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(text, i, cp);
    if (cp >= 0xDC80 && cp <= 0xDCFF && len == 1)
      out += text[i]; // not UTF-8: the byte as it is
    else
      AppendUtf8(out, FoldCase(cp));
    i += len;
  }
  return out;
}

void FoldInto(std::string_view text, std::u32string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    i += DecodeUtf8(text, i, cp);
    out.push_back(FoldCase(cp));
  }
}

} // namespace quillon::winapi
