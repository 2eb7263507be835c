// UTF-8 to and from the wide text of the Win32 calls, through the system's own converter.

#include <windows.h>

#include "winapi/native/NativeText.h"

#include <climits>

namespace quillon::winapi::native {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX)
    return {};
  const int length = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (units <= 0)
    return {};
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), units);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX)
    return {};
  const int length = static_cast<int>(wide.size());
  const int bytes =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0)
    return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string Utf8Terminated(const wchar_t* text, std::size_t capacity) {
  if (text == nullptr)
    return {};
  std::size_t length = 0;
  while (length < capacity && text[length] != L'\0')
    ++length;
  return Utf8(std::wstring_view(text, length));
}

} // namespace quillon::winapi::native
