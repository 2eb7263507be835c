#include "model/CodePageText.h"

#include "winapi/Utf16.h"

#include <array>

namespace quillon {

namespace {

// Windows-1252 0x80..0x9F.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

bool IsValidUtf8(std::string_view bytes) {
  const auto at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char b = at(i);
    if (b < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    // The range of the second byte is narrower after some lead bytes: that excludes overlong
    // forms (E0, F0), surrogates (ED) and code points above U+10FFFF (F4).
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0)
        low = 0xA0;
      else if (b == 0xED)
        high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0)
        low = 0x90;
      else if (b == 0xF4)
        high = 0x8F;
    } else {
      return false;
    }
    if (bytes.size() - i < length || at(i + 1) < low || at(i + 1) > high)
      return false;
    for (std::size_t k = 2; k < length; ++k)
      if ((at(i + k) & 0xC0) != 0x80)
        return false;
    i += length;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    winapi::AppendUtf8(text, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t(b));
  }
  return text;
}

std::string DisplayUtf8(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : Windows1252ToUtf8(bytes);
}

} // namespace quillon
