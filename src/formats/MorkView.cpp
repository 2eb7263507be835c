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
  // Each id's first eight bytes, folded, make one number that orders as they do. Ids are mostly
  // short hex numbers, so a radix sort of these numbers orders nearly all entries without a
  // comparison; only ids that share their first eight bytes are compared as text.
  struct TKey {
    std::uint64_t Prefix;
    std::uint32_t Entry;
  };
  const std::size_t count = list.size();
  std::vector<TKey> keys(count), moved(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view id = MorkEntry(list[i]).Id;
    std::uint64_t prefix = 0;
    for (std::size_t k = 0; k < 8; ++k)
      prefix = prefix << 8 | (k < id.size() ? static_cast<unsigned char>(LowerAscii(id[k])) : 0u);
    keys[i] = {prefix, static_cast<std::uint32_t>(i)};
  }
  // Sixteen bits a pass, lowest first; each pass is stable, so equal prefixes keep file order. A
  // pass whose digit is the same for every entry changes nothing and is skipped.
  std::vector<std::size_t> starts(65536 + 1);
  for (int shift = 0; shift < 64; shift += 16) {
    const auto digit = [shift](const TKey& key) { return (key.Prefix >> shift) & 0xFFFF; };
    std::fill(starts.begin(), starts.end(), 0);
    for (const TKey& key : keys)
      ++starts[digit(key) + 1];
    if (std::find(starts.begin(), starts.end(), count) != starts.end())
      continue;
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    for (const TKey& key : keys)
      moved[starts[digit(key)]++] = key;
    keys.swap(moved);
  }
  const auto byId = [&list](const TKey& a, const TKey& b) {
    return CompareLowerAscii(MorkEntry(list[a.Entry]).Id, MorkEntry(list[b.Entry]).Id) < 0;
  };
  for (std::size_t begin = 0; begin < count;) {
    std::size_t end = begin + 1;
    while (end < count && keys[end].Prefix == keys[begin].Prefix)
      ++end;
    if (end - begin > 1)
      std::stable_sort(keys.begin() + static_cast<std::ptrdiff_t>(begin),
                       keys.begin() + static_cast<std::ptrdiff_t>(end), byId);
    begin = end;
  }
  std::vector<std::uint32_t> order(count);
  for (std::size_t i = 0; i < count; ++i)
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
