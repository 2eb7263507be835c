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

// Lines are gathered and written in large pieces: one stream write per line cost more than
// making the line.
constexpr std::size_t kFlushBytes = 64 * 1024;

void AppendLine(std::string& buffer, const std::vector<std::string>& row,
                const std::vector<std::size_t>* widths) {
  for (std::size_t c = 0; c < row.size(); ++c) {
    if (c > 0)
      buffer += widths != nullptr ? "  " : "\t";
    buffer += row[c];
    if (widths != nullptr && c + 1 < row.size())
      buffer.append((*widths)[c] - std::min((*widths)[c], DisplayWidth(row[c])), ' ');
  }
  buffer += '\n';
}

void Widen(std::vector<std::size_t>& widths, const std::vector<std::string>& row) {
  if (widths.size() < row.size())
    widths.resize(row.size(), 0);
  for (std::size_t c = 0; c < row.size(); ++c)
    widths[c] = std::max(widths[c], DisplayWidth(row[c]));
}

} // namespace

// The cells are escaped as they are printed.
void TTextTable::AddRow(std::vector<std::string> cells) {
  rows_.push_back(std::move(cells));
}

void TTextTable::Print(std::ostream& out) const {
  PrintRows(out, aligned_, rows_.size(),
            [this](std::size_t row, std::vector<std::string>& cells) { cells = rows_[row]; });
}

void PrintRows(std::ostream& out, bool aligned, std::size_t rowCount, const TRowCells& rowCells) {
  std::vector<std::string> cells;
  const auto row = [&](std::size_t r) {
    cells.clear();
    rowCells(r, cells);
    for (std::string& cell : cells)
      ToTerminalText(cell);
  };
  std::vector<std::size_t> widths;
  if (aligned)
    for (std::size_t r = 0; r < rowCount; ++r) {
      row(r);
      Widen(widths, cells);
    }
  std::string buffer;
  buffer.reserve(kFlushBytes + 4096);
  for (std::size_t r = 0; r < rowCount; ++r) {
    row(r);
    AppendLine(buffer, cells, aligned ? &widths : nullptr);
    if (buffer.size() >= kFlushBytes) {
      out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
      buffer.clear();
    }
  }
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

} // namespace quillon::cli
