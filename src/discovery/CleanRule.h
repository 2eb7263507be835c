#pragma once
// The rule the main window hands to every profile: which entries a clean removes. Every cache
// entry, the cookies of advertising hosts and the bookmarks of ad-serving domains go; history
// and start pages stay.

#include "discovery/BrowserManager.h"

#include <array>
#include <string>
#include <string_view>

namespace quillon {

// A cookie whose host contains one of these words belongs to an ad network.
inline constexpr std::array<std::string_view, 2> kAdvertisingCookieWords = {"advertising",
                                                                            "mediaplex"};
// Bookmarks that lead to these ad-serving domains are left-overs of ad clicks.
inline constexpr std::array<std::string_view, 2> kAdServingBookmarkDomains = {"doubleclick.net",
                                                                              "atdmt.com"};

// Answers in doclean whether a clean removes the entry. Substrings are compared case-sensitively.
// Without an entry (item null) only the cache rule applies. newcontent is left as it came.
void ValidateCacheEntry(TBrowserProfile& profile, TCacheType typ, TCacheItem* item, bool& doclean,
                        std::string& newcontent);

} // namespace quillon
