#include "formats/MorkView.h"

#include "winapi/TextCase.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace quillon {

std::optional<TMorkView> MorkViewNamed(std::string_view name) {
  static constexpr std::array<std::pair<std::string_view, TMorkView>, 5> kNames = {{
      {"raw", TMorkView::Raw},
      {"fields", TMorkView::Fields},
      {"data", TMorkView::Data},
      {"table", TMorkView::Table},
      {"result", TMorkView::Result},
  }};
  for (const auto& [text, view] : kNames)
    if (text == name)
      return view;
  return std::nullopt;
}

TMorkEntry MorkEntry(std::string_view entry) {
  const std::size_t eq = entry.find('=');
  if (eq == std::string_view::npos)
    return {entry, {}};
  return {entry.substr(0, eq), entry.substr(eq + 1)};
}

std::vector<std::uint32_t> MorkIdOrder(const TTextList& list) {
  std::vector<std::uint32_t> order(list.size());
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&list](std::uint32_t a, std::uint32_t b) {
    return CompareLowerAscii(MorkEntry(list[a]).Id, MorkEntry(list[b]).Id) < 0;
  });
  return order;
}

TMorkResult::TMorkResult(const TMorkFile& file) : file_(&file) {
  const TTextList& fields = file.FieldList();
  const std::size_t shown = std::min(fields.size(), kMorkMaxResultColumns);
  names_.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i)
    names_.push_back(MorkEntry(fields[i]).Text);
  leftOff_ = fields.size() - shown;
}

void TMorkResult::RowCells(std::size_t row, std::vector<std::string_view>& cells,
                           std::string& scratch) const {
  cells.assign(ColumnCount(), {});
  if (row >= RowCount())
    return;
  cells[0] = MorkEntry(file_->TableList()[row]).Id;
  file_->CellViews(row, names_, std::span<std::string_view>(cells).subspan(1), scratch);
}

std::string MorkLeftOffMessage(const TMorkResult& result) {
  if (result.LeftOffColumns() == 0)
    return {};
  return "The column dictionary names " +
         std::to_string(result.LeftOffColumns() + result.ColumnCount() - 1) +
         " columns; the result shows the first " + std::to_string(result.ColumnCount() - 1) + ".";
}

} // namespace quillon
