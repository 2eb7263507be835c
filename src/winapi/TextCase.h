#pragma once
// Case folding of ASCII letters only. The names the browsers and Windows compare without regard
// to case (preference and table names, ids, section names, markup) are ASCII; bytes above 127
// belong to multi-byte or code-page text and stay as they are, whatever the locale. It lives in
// the Windows layer because the image backend's text order is built on it too.

#include <algorithm>
#include <string>
#include <string_view>

namespace quillon {

constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string UpperCaseAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    c = UpperAscii(c);
  return result;
}

inline std::string LowerCaseAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    c = LowerAscii(c);
  return result;
}

inline bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAscii(x) == UpperAscii(y);
         });
}

// <0, 0 or >0 as a sorts before, with or after b once both are folded to lower case: the
// punctuation between "Z" and "a" ("_", "[", "^") then sorts before the letters, as on Windows.
inline int CompareLowerAscii(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(LowerAscii(a[i]));
    const auto y = static_cast<unsigned char>(LowerAscii(b[i]));
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

inline bool StartsWithTextAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

} // namespace quillon
