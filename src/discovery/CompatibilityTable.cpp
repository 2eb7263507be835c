#include "discovery/CompatibilityTable.h"

#include "winapi/TextCase.h"

#include <algorithm>

namespace quillon {

std::vector<TCompatibilityRow> CompatibilityRows() {
  std::vector<TCompatibilityRow> rows;
  for (int t = 0; t < kBrowserTypeCount; ++t) {
    const auto type = static_cast<TBrowserType>(t);
    if (type == bOperaApp)
      continue;
    TCompatibilityRow row{type, std::string(BrowserNames[t]), BrowserImageIndexes[t], {}, {}};
    for (int k = 0; k < kCacheTypeCount; ++k) {
      row.Capabilities[k] = std::string(BrowserCapabilities[t][k]);
      row.CapabilityImages[k] = BrowserCapabilityImages[t][k];
    }
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
    return CompareLowerAscii(a.Browser, b.Browser) < 0;
  });
  return rows;
}

} // namespace quillon
