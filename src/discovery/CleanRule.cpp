#include "discovery/CleanRule.h"

#include <algorithm>

namespace quillon {

namespace {

template <std::size_t N>
bool ContainsAny(const std::string& text, const std::array<std::string_view, N>& words) {
  return std::any_of(words.begin(), words.end(), [&text](std::string_view word) {
    return text.find(word) != std::string::npos;
  });
}

} // namespace

void ValidateCacheEntry(TBrowserProfile&, TCacheType typ, TCacheItem* item, bool& doclean,
                        std::string&) {
  doclean = false;
  if (item != nullptr) {
    if (typ == ctCookies && ContainsAny(item->Host, kAdvertisingCookieWords))
      doclean = true;
    if (typ == ctBookmarks && ContainsAny(item->Host, kAdServingBookmarkDomains))
      doclean = true;
  }
  if (typ == ctCache)
    doclean = true;
}

} // namespace quillon
