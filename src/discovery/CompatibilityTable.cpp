#include "discovery/CompatibilityTable.h"

#include "winapi/TextCase.h"

#include <algorithm>

namespace quillon {

std::vector<TCompatibilityRow> CompatibilityRows() {
  std::vector<TCompatibilityRow> rows;
  for (const TBrowserFamily& family : kBrowserFamilies) {
    if (!family.Listed)
      continue;
    TCompatibilityRow row{family.Type, std::string(family.Name), family.ImageIndex, {}};
    for (int k = 0; k < kCacheTypeCount; ++k)
      row.Capabilities[k] = std::string(family.CapabilityTexts[k]);
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return CompareLowerAscii(a.Browser, b.Browser) < 0;
  });
  return rows;
}

} // namespace quillon
