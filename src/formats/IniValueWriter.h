#pragma once
// Sets one value in the text of an INI file and leaves every other byte as it was: a byte order
// mark, lines before the first section, comments, blank lines, other sections and each line's
// own break. The value found is the one TIniFile reads: the first key of that name (without
// regard to case) in the sections of that name.

#include <stdexcept>
#include <string>
#include <string_view>

namespace quillon {

struct TIniValueWrite {
  std::string Content;
  bool Changed = false; // false: the value was set already, Content is the text unchanged
};

// Raised for a value or name that would break the file's lines apart ("\r" or "\n" in it), or a
// section name that holds "]".
class EIniValueError : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

// The text with key=value in section. A key the section lacks goes after the section's last
// value line (or its header); a missing section is appended. New lines take the file's first line
// break, CR LF when it has none.
TIniValueWrite WriteIniValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

} // namespace quillon
