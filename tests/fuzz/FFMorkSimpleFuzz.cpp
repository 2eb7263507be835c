// Mork databases ("history.dat", Thunderbird's .mab/.msf): scans the input and resolves the
// cells of every row, as the history reader does.

#include "FuzzFile.h"
#include "formats/FFMorkSimple.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMorkFile mork;
  mork.LoadFromBuffer(fuzz::TFuzzFile::Bytes(data, size));
  if (mork.Buffer().size() != size)
    std::abort();

  constexpr std::size_t kMaxRows = 2048; // keeps one input's run short
  const std::size_t rows = std::min(mork.RowCount(), kMaxRows);
  for (std::size_t row = 0; row < rows; ++row) {
    mork.RowId(row);
    constexpr std::array<std::string_view, 5> kNames = {"URL", "Hostname", "LastVisitDate",
                                                        "FirstVisitDate", "Name"};
    std::array<std::string, kNames.size()> values;
    mork.CellValues(row, kNames, values);
    // Every cell of the row on its own. A cell that does not resolve leaves the column as it
    // was, so the first cell whose column is a name gives that name's value; where no quoting
    // blurs the commas, that must be what the row lookup found.
    const std::string_view line = mork.TableList()[row];
    std::string_view cells = line.substr(std::min(line.size(), line.find('=') + 1));
    // Items holding a quote or a byte up to 32 are quoted in the row's comma text.
    const bool plainCommas = std::none_of(cells.begin(), cells.end(), [](char c) {
      return c == '"' || static_cast<unsigned char>(c) <= 32;
    });
    std::array<std::string, kNames.size()> expected;
    std::array<bool, kNames.size()> found{};
    std::string column, value;
    while (!cells.empty()) {
      const std::size_t comma = cells.find(',');
      mork.ResolveCell(cells.substr(0, comma), column, value);
      for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (!found[i] && column == kNames[i]) {
          expected[i] = value;
          found[i] = true;
        }
      }
      cells.remove_prefix(comma == std::string_view::npos ? cells.size() : comma + 1);
    }
    if (plainCommas && expected != values)
      std::abort();
  }
  // Past the last row: nothing, and no read outside the list.
  if (!mork.RowId(mork.RowCount()).empty() || !mork.CellValue("URL", mork.RowCount()).empty())
    std::abort();

  // Decoding only ever shrinks the text.
  const std::string decoded = TMorkFile::DecodeEscapes(mork.Buffer());
  if (decoded.size() > size)
    std::abort();
  return 0;
}
