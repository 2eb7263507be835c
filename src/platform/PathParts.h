#pragma once
// A Windows path split as Windows programs split it: the folder part is everything up to and
// including the last "\" or ":" (so "C:name" has the folder "C:", the current folder of drive
// C:), the name part the rest. Neither looks at "/": inside the program every path is a Windows
// path.

#include <string>
#include <string_view>

namespace quillon {

inline std::string FolderPart(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\:");
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

inline std::string NamePart(std::string_view path) {
  const std::size_t pos = path.find_last_of("\\:");
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

} // namespace quillon
