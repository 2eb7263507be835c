// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"
#include "winapi/WinApi.h"

namespace quillon {

TActionOutcome TBrowserHelperChrome::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  TActionOutcome outcome = RefreshBookmarks(profile);
  outcome.Merge(RefreshCookies(profile));
  outcome.Merge(RefreshHistory(profile));
  return outcome;
}

TActionOutcome TBrowserHelperChrome::RefreshHistory(TBrowserProfile& profile) {
  return ReadSQLiteStore<TChromeHistory>(profile, ctHistory);
}

TActionOutcome TBrowserHelperChrome::RefreshPages(TBrowserProfile&) {
  return {};
}

TActionOutcome TBrowserHelperChrome::RefreshBookmarks(TBrowserProfile& profile) {
  return ReadSQLiteStore<TChromeBookmarks>(profile, ctBookmarks);
}

TActionOutcome TBrowserHelperChrome::RefreshCookies(TBrowserProfile& profile) {
  return ReadSQLiteStore<TChromeCookies>(profile, ctCookies);
}

TActionOutcome TBrowserHelperChrome::RefreshCache(TBrowserProfile&) {
  return {};
}

TActionOutcome TBrowserHelperChrome::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                           const TOnValidateCacheEntry& validate) {
  TActionOutcome outcome;
  if (!validate)
    return outcome;
  if (KindsContain(kinds, ctBookmarks))
    outcome.Merge(CleanSQLiteStore<TChromeBookmarks>(profile, ctBookmarks, validate, false));
  if (KindsContain(kinds, ctCookies))
    outcome.Merge(CleanSQLiteStore<TChromeCookies>(profile, ctCookies, validate, false));
  if (KindsContain(kinds, ctHistory))
    outcome.Merge(CleanSQLiteStore<TChromeHistory>(profile, ctHistory, validate, false));
  return outcome;
}

TActionOutcome TBrowserHelperChrome::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  TActionOutcome outcome;
  if (KindsContain(kinds, ctBookmarks))
    outcome.Merge(PurgeSQLiteStore<TChromeBookmarks>(profile, ctBookmarks));
  if (KindsContain(kinds, ctCookies))
    outcome.Merge(PurgeFile(profile, ctCookies));
  if (KindsContain(kinds, ctHistory))
    outcome.Merge(PurgeSQLiteStore<TChromeHistory>(profile, ctHistory));
  return outcome;
}

} // namespace quillon
