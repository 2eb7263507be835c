#pragma once
// The table of supported browsers that the main window's Info tab and `quillon-cli compat` show.

#include "discovery/BrowserManager.h"

#include <array>
#include <string>
#include <vector>

namespace quillon {

struct TCompatibilityRow {
  TBrowserType Type;
  std::string Browser; // display name
  int ImageIndex;
  std::array<std::string, kCacheTypeCount> Capabilities;
};

// Column captions, in order.
inline constexpr std::array<const char*, 6> kCompatibilityColumns = {
    "Browser", "Cache", "Cookies", "History", "Start pages", "Bookmarks"};

// One row per listed browser type (all but "Opera Application"), sorted by the browser name
// without regard to case.
std::vector<TCompatibilityRow> CompatibilityRows();

} // namespace quillon
