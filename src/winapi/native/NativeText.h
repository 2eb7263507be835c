#pragma once
// Text between the program and the wide Win32 calls. The program's strings are UTF-8; the "A"
// calls would read them in the system's ANSI code page, which is UTF-8 only where the user chose
// it, so a name outside that page (a profile folder in Cyrillic, a URL in Chinese) would be lost.
// Every native service therefore calls the "W" flavour and converts here. Only the native
// backend's files include this header, after <windows.h>.

#include <string>
#include <string_view>

namespace quillon::winapi::native {

// Invalid UTF-8 becomes U+FFFD, as the system's converter makes it.
std::wstring Wide(std::string_view utf8);
// A lone surrogate becomes U+FFFD.
std::string Utf8(std::wstring_view wide);
// The text of a NUL-terminated wide buffer (up to its first NUL or its end).
std::string Utf8Terminated(const wchar_t* text, std::size_t capacity);

// A wide path argument: null for an empty string where the call takes null as "none".
inline const wchar_t* OrNull(const std::wstring& text) {
  return text.empty() ? nullptr : text.c_str();
}

} // namespace quillon::winapi::native
