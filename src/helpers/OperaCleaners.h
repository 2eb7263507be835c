#pragma once
// Clean and purge of Opera's own stores: the start page in the ini file, global.dat, the hotlist,
// cookies4.dat and the cache index. Each follows the clean protocol (ask the rule per entry, then
// write the store back), rewrites a store only through ReplaceStoreFile, keeps the lines and
// records it does not take byte for byte, and reports every failure in its outcome.

#include "helpers/BrowserHelper.h"
#include "model/ProfileStores.h"

namespace quillon {

// The page entries whose Name is "[section]key": each accepted one (offered "about:blank") is set
// to the rule's content in the ini file at the start-page location. Without a rule every entry is
// accepted.
TActionOutcome CleanIniPages(TProfileStores& profile, const TCleanRule& rule);
TActionOutcome ResetIniPages(TProfileStores& profile);

// Removes the accepted history records (offered: the entry's Path) from global.dat.
TActionOutcome CleanHistoryFile(TProfileStores& profile, const TCleanRule& rule);

// Removes the accepted bookmarks (offered: Path "\" Name) from the hotlist, after a copy of it
// to "<file>.vext.bak".
TActionOutcome CleanOperaHotlist(TProfileStores& profile, const TCleanRule& rule);

// Removes the accepted cookies (offered: the cookie's name) from cookies4.dat, after a copy of it
// to "<file>.vext.bak".
TActionOutcome CleanO4Cookies(TProfileStores& profile, const TCleanRule& rule);

// Removes the accepted records (offered: the record's URL) from the cache folder's dcache4.url,
// after a copy of it to "dcache4.url.vext.bak", and their cache files when they lie inside the
// cache folder.
TActionOutcome CleanO4CacheIndex(TProfileStores& profile, const TCleanRule& rule);

} // namespace quillon
