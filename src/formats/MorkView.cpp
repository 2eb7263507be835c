#include "formats/MorkView.h"

#include "winapi/TextCase.h"

#include <algorithm>
#include <array>

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
  // Each id's first eight bytes, folded, make one number that orders as they do: ids are mostly
  // short hex numbers, so most comparisons never reach the text, whose million entries lie far
  // beyond the caches.
  struct TKey {
    std::uint64_t Prefix;
    std::uint32_t Entry;
  };
  std::vector<TKey> keys(list.size());
  for (std::uint32_t i = 0; i < keys.size(); ++i) {
    const std::string_view id = MorkEntry(list[i]).Id;
    std::uint64_t prefix = 0;
    for (std::size_t k = 0; k < 8; ++k)
      prefix = prefix << 8 | (k < id.size() ? static_cast<unsigned char>(LowerAscii(id[k])) : 0u);
    keys[i] = {prefix, i};
  }
  std::sort(keys.begin(), keys.end(), [&list](const TKey& a, const TKey& b) {
    if (a.Prefix != b.Prefix)
      return a.Prefix < b.Prefix;
    const int order = CompareLowerAscii(MorkEntry(list[a.Entry]).Id, MorkEntry(list[b.Entry]).Id);
    return order != 0 ? order < 0 : a.Entry < b.Entry; // equal ids keep their file order
  });
  std::vector<std::uint32_t> order(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i)
    order[i] = keys[i].Entry;
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
