#pragma once
// Walks the lines of a browser's text store. Windows programs wrote CR LF, their ports LF, and
// old Mac builds CR alone, so a line ends at any of the three; the break itself is handed out
// too, for writers that must give back the lines they leave alone byte for byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The position of the first CR or LF at or after pos, or npos. A plain loop: the library's
// find_first_of calls memchr on its set once per byte of the text.
inline std::size_t FindLineBreak(std::string_view text, std::size_t pos = 0) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  for (; pos < size; ++pos) {
    if (data[pos] == '\n' || data[pos] == '\r')
      return pos;
  }
  return std::string_view::npos;
}

struct TTextLine {
  std::string_view Text;  // without its line break
  std::string_view Break; // "\r\n", "\n", "\r", or empty for a last line without one
};

class TTextLineReader {
public:
  explicit TTextLineReader(std::string_view text) : text_(text) {}

  // The next line; false after the last one. A text that ends with a line break has no empty
  // line after it.
  bool Next(TTextLine& line) {
    if (pos_ >= text_.size())
      return false;
    const std::size_t end = FindLineBreak(text_, pos_);
    if (end == std::string_view::npos) {
      line = {text_.substr(pos_), {}};
      pos_ = text_.size();
      return true;
    }
    std::size_t breakLength = 1;
    if (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n')
      breakLength = 2;
    line = {text_.substr(pos_, end - pos_), text_.substr(end, breakLength)};
    pos_ = end + breakLength;
    return true;
  }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// The lines of a text without their breaks, empty ones included, as a string list takes a text
// (so "a\r\n\r\nb" is "a", "", "b" and "a\r\n" is "a" alone).
inline std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  TTextLineReader reader(text);
  for (TTextLine line; reader.Next(line);)
    lines.emplace_back(line.Text);
  return lines;
}

} // namespace quillon
