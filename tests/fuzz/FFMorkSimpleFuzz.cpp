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
    // The one-walk lookup of several columns answers as the lookup of each column alone.
    constexpr std::array<std::string_view, 5> kNames = {"URL", "Hostname", "LastVisitDate",
                                                        "FirstVisitDate", "Name"};
    std::array<std::string, kNames.size()> values;
    mork.CellValues(row, kNames, values);
    for (std::size_t i = 0; i < kNames.size(); ++i) {
      if (mork.CellValue(kNames[i], row) != values[i])
        std::abort();
    }
    // Every cell of the row on its own.
    const std::string_view line = mork.TableList()[row];
    std::string_view cells = line.substr(std::min(line.size(), line.find('=') + 1));
    while (!cells.empty()) {
      const std::size_t comma = cells.find(',');
      std::string column, value;
      mork.ResolveCell(cells.substr(0, comma), column, value);
      cells.remove_prefix(comma == std::string_view::npos ? cells.size() : comma + 1);
    }
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
