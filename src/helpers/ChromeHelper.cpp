// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"

namespace quillon {

void TBrowserHelperChrome::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  RefreshBookmarks(profile);
  RefreshCookies(profile);
  RefreshHistory(profile);
}

void TBrowserHelperChrome::RefreshHistory(TBrowserProfile& profile) {
  ReadSQLiteStore<TChromeHistory>(profile, ctHistory);
}

void TBrowserHelperChrome::RefreshPages(TBrowserProfile&) {}

void TBrowserHelperChrome::RefreshBookmarks(TBrowserProfile& profile) {
  ReadSQLiteStore<TChromeBookmarks>(profile, ctBookmarks);
}

void TBrowserHelperChrome::RefreshCookies(TBrowserProfile& profile) {
  ReadSQLiteStore<TChromeCookies>(profile, ctCookies);
}

void TBrowserHelperChrome::RefreshCache(TBrowserProfile&) {}

void TBrowserHelperChrome::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                 const TOnValidateCacheEntry& validate) {
  if (!validate)
    return;
  if (KindsContain(kinds, ctBookmarks))
    CleanSQLiteStore<TChromeBookmarks>(profile, ctBookmarks, validate, false);
  if (KindsContain(kinds, ctCookies))
    CleanSQLiteStore<TChromeCookies>(profile, ctCookies, validate, false);
  if (KindsContain(kinds, ctHistory))
    CleanSQLiteStore<TChromeHistory>(profile, ctHistory, validate, false);
}

void TBrowserHelperChrome::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  if (KindsContain(kinds, ctBookmarks))
    PurgeSQLiteStore<TChromeBookmarks>(profile, ctBookmarks);
  if (KindsContain(kinds, ctCookies))
    PurgeFile(profile, ctCookies);
  if (KindsContain(kinds, ctHistory))
    PurgeSQLiteStore<TChromeHistory>(profile, ctHistory);
}

} // namespace quillon
