#include "cli/TextTable.h"

#include "session/TerminalText.h"

#include <algorithm>
#include <ostream>

namespace quillon::cli {

namespace {
// Display width of UTF-8 text: count the bytes that start a character.
std::size_t DisplayWidth(const std::string& s) {
  return static_cast<std::size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}
} // namespace

void TTextTable::AddRow(std::vector<std::string> cells) {
  for (std::string& cell : cells)
    ToTerminalText(cell);
  rows_.push_back(std::move(cells));
}

void TTextTable::Print(std::ostream& out) const {
  std::vector<std::size_t> widths;
  if (aligned_) {
    for (const auto& row : rows_) {
      if (widths.size() < row.size())
        widths.resize(row.size(), 0);
      for (std::size_t c = 0; c < row.size(); ++c)
        widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    }
  }
  for (const auto& row : rows_) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0)
        line += aligned_ ? "  " : "\t";
      line += row[c];
      if (aligned_ && c + 1 < row.size())
        line.append(widths[c] - DisplayWidth(row[c]), ' ');
    }
    out << line << '\n';
  }
}

} // namespace quillon::cli
