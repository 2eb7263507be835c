#pragma once
// Prints rows of cells: aligned for a person at a terminal, tab-separated for other programs.
// Either way each cell shows as terminal text (session/TerminalText.h), so a cell is one cell.

#include <cstddef>
#include <functional>
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

// Puts the cells of row number row into cells (empty when called).
using TRowCells = std::function<void(std::size_t row, std::vector<std::string>& cells)>;

// Prints rowCount rows made on demand, none of them held: a list of a million entries prints in
// the memory of one row. Aligned output asks for every row twice, to measure and to print.
void PrintRows(std::ostream& out, bool aligned, std::size_t rowCount, const TRowCells& rowCells);

} // namespace quillon::cli
