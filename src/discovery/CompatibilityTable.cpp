#include "discovery/CompatibilityTable.h"

#include "model/TextCase.h"

#include <algorithm>

namespace quillon {

namespace {
bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}
} // namespace

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
  std::stable_sort(rows.begin(), rows.end(),
                   [](const auto& a, const auto& b) { return LessNoCase(a.Browser, b.Browser); });
  return rows;
}

} // namespace quillon
