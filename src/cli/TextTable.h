#pragma once
// Prints rows of cells: aligned for a person at a terminal, tab-separated for other programs.
// Either way each cell shows as terminal text (session/TerminalText.h), so a cell is one cell.

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

class TTextTable {
public:
  explicit TTextTable(bool aligned) : aligned_(aligned) {}
  void AddRow(std::vector<std::string> cells);
  void Print(std::ostream& out) const;

private:
  bool aligned_;
  std::vector<std::vector<std::string>> rows_;
};

} // namespace quillon::cli
