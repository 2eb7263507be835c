// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"

#include <exception>

namespace quillon {

namespace {

// Empties the store's table; the list follows only when that worked, so a locked database does
// not look purged.
template <typename TStore> void PurgeKind(TBrowserProfile& profile, TCacheType kind) {
  try {
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    if (store.DeleteAll())
      profile.GetList(kind).Clear();
  } catch (const std::exception&) {
    // The database stays as it was.
  }
}

} // namespace

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
    PurgeKind<TChromeBookmarks>(profile, ctBookmarks);
  if (KindsContain(kinds, ctCookies))
    PurgeFile(profile, ctCookies);
  if (KindsContain(kinds, ctHistory))
    PurgeKind<TChromeHistory>(profile, ctHistory);
}

} // namespace quillon
