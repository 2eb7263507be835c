#pragma once
// Text from an image on a terminal or in a pipe. Cell texts are an attacker's choice: a tab would
// add a column, a line break a row, ESC and the C1 controls reach the terminal as commands, and
// bidi controls reorder what the terminal shows. They are printed in a visible escaped form:
//   \t \r \n for tab, CR, LF; \xNN for the other C0 controls, DEL and the C1 controls (U+0080 to
//   U+009F); \uNNNN for the bidi controls and marks (U+061C, U+200E, U+200F, U+202A to U+202E,
//   U+2066 to U+2069) and the line and paragraph separators (U+2028, U+2029).
// A text that holds none of these prints as it is, so Windows paths read as usual. In a text that
// holds one, every backslash is doubled as well, so that each "\" there begins an escape.
// Bytes that are not valid UTF-8 are first read as Windows-1252.

#include <string>
#include <string_view>

namespace quillon {

// Escapes text in place; a text with nothing to escape is left untouched (no copy).
void ToTerminalText(std::string& text);

inline std::string TerminalText(std::string_view bytes) {
  std::string text(bytes);
  ToTerminalText(text);
  return text;
}

} // namespace quillon
