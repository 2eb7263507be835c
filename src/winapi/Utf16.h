#pragma once
// UTF-16LE, as Windows stores text in hives and resources, to the UTF-8 the program works in.

#include <string>
#include <string_view>

namespace quillon::winapi {

void AppendUtf8(std::string& out, char32_t codePoint);
// Every unit of the bytes (an odd last byte is dropped); a lone surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(std::string_view bytes);

} // namespace quillon::winapi
