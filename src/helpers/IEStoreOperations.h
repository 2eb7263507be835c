#pragma once
// The stores of Internet Explorer that the two IE helpers share: the URL cache (cache, cookies
// and history of the user running the program), start pages in registry values and favourites
// as ".url" shortcut files.

#include "helpers/BrowserHelper.h"
#include "model/ActionOutcome.h"
#include "model/ProfileStores.h"

namespace quillon {

// The kinds the URL cache holds.
inline constexpr TCacheKinds kUrlCacheKinds{ctCache, ctCookies, ctHistory};

// The kind a URL-cache entry belongs to by its entry type: the cookie flag makes a cookie, else
// the URL-history flag a history entry, anything else is cache.
TCacheType UrlCacheKind(std::uint32_t cacheEntryType);

// Replaces the lists of the URL-cache kinds of kinds with the entries of the cache (Path the
// source URL, Expires, LastAccess, CacheFile the local file). A walk that ends with an error
// keeps what it listed and records the error as a read failure of each of those kinds.
TActionOutcome ListUrlCache(TProfileStores& profile, TCacheKinds kinds = kUrlCacheKinds);
// Asks rule about every cache entry of the kinds (with the list entry of the same source URL,
// null when there is none); an accepted entry's file is unlocked, its local file deleted and
// the entry removed from the cache. The lists stay as they are until the next read. Without a
// rule nothing is asked and nothing removed.
TActionOutcome CleanUrlCache(TProfileStores& profile, TCacheKinds kinds, const TCleanRule& rule);
// Empties the lists of the kinds and removes every cache entry of them; their files are left
// to the cache.
TActionOutcome PurgeUrlCache(TProfileStores& profile, TCacheKinds kinds);

// Asks rule about each start page, first to last, offering "about:blank"; an accepted page's
// value is written, always through registry view 32 whatever view it was read through, and
// becomes the entry's Content. Without a rule every page is reset to "about:blank".
TActionOutcome CleanRegistryPages(TProfileStores& profile, const TCleanRule& rule);
TActionOutcome ResetRegistryPages(TProfileStores& profile);

// Asks rule about each favourite, last to first, offering its URL; an accepted favourite's
// shortcut file (location, Path, "\", Name, ".url") is deleted and then its entry. A favourite
// whose file is missing or cannot be deleted stays. Without a rule every favourite goes.
TActionOutcome CleanFavorites(TProfileStores& profile, const TCleanRule& rule);
TActionOutcome PurgeFavorites(TProfileStores& profile);

} // namespace quillon
