#include "session/TerminalText.h"

#include "model/CodePageText.h"

namespace quillon {

namespace {

// The code point to escape that starts at text[i] of valid UTF-8, and its length in bytes; 0 for
// none.
std::size_t EscapedAt(std::string_view text, std::size_t i, char32_t& cp) {
  const auto at = [&text](std::size_t k) {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
  };
  const unsigned char b = at(i);
  if (b < 0x20 || b == 0x7F) {
    cp = b;
    return 1;
  }
  if (b == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F) {
    cp = at(i + 1);
    return 2;
  }
  if (b == 0xD8 && at(i + 1) == 0x9C) {
    cp = 0x061C;
    return 2;
  }
  if (b == 0xE2) {
    const unsigned char b1 = at(i + 1), b2 = at(i + 2);
    const char32_t c = 0x2000 | ((b1 & 0x3F) << 6) | (b2 & 0x3F);
    if ((b1 == 0x80 && (c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E))) ||
        (b1 == 0x81 && c >= 0x2066 && c <= 0x2069)) {
      cp = c;
      return 3;
    }
  }
  return 0;
}

void AppendHex(std::string& out, char32_t value, int digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += kHex[(value >> shift) & 0xF];
}

bool NeedsEscape(std::string_view text) {
  char32_t cp = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (EscapedAt(text, i, cp) != 0)
      return true;
  return false;
}

} // namespace

void ToTerminalText(std::string& text) {
  if (!IsValidUtf8(text))
    text = Windows1252ToUtf8(text);
  if (!NeedsEscape(text))
    return;
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t length = EscapedAt(text, i, cp);
    if (length == 0) {
      if (text[i] == '\\')
        out += '\\';
      out += text[i++];
      continue;
    }
    i += length;
    if (cp == '\t') {
      out += "\\t";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp < 0x100) {
      out += "\\x";
      AppendHex(out, cp, 2);
    } else {
      out += "\\u";
      AppendHex(out, cp, 4);
    }
  }
  text = std::move(out);
}

} // namespace quillon
