// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "formats/BrowserCacheSQLite.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"

namespace quillon {

// Bookmarks go first: the History database keeps an address while a bookmark names it, so a
// purge of the history after the bookmarks' takes the addresses as well.
TBrowserHelperCustom::TKindOrder TBrowserHelperChrome::KindOrder() const {
  return {ctBookmarks, ctCookies, ctHistory, ctCache, ctPages};
}

TActionOutcome TBrowserHelperChrome::ReadKind(TProfileStores& profile, const THelperContext&,
                                              TCacheType kind) {
  switch (kind) {
  case ctBookmarks:
    return ReadSQLiteStore<TChromeBookmarks>(profile, ctBookmarks);
  case ctCookies:
    return ReadSQLiteStore<TChromeCookies>(profile, ctCookies);
  case ctHistory:
    return ReadSQLiteStore<TChromeHistory>(profile, ctHistory);
  case ctCache:
  case ctPages:
    break;
  }
  return {};
}

TActionOutcome TBrowserHelperChrome::CleanKind(TProfileStores& profile,
                                               const THelperContext& context, TCacheType kind) {
  if (!context.Rule)
    return {};
  switch (kind) {
  case ctBookmarks:
    return CleanSQLiteStore<TChromeBookmarks>(profile, ctBookmarks, context.Rule, false);
  case ctCookies:
    return CleanSQLiteStore<TChromeCookies>(profile, ctCookies, context.Rule, false);
  case ctHistory:
    return CleanSQLiteStore<TChromeHistory>(profile, ctHistory, context.Rule, false);
  case ctCache:
  case ctPages:
    break;
  }
  return {};
}

TActionOutcome TBrowserHelperChrome::PurgeKind(TProfileStores& profile, const THelperContext&,
                                               TCacheType kind) {
  switch (kind) {
  case ctBookmarks:
    // The History database holds the visits too; only the starred rows go.
    return PurgeSQLiteStore<TChromeBookmarks>(profile, ctBookmarks);
  case ctCookies:
    return PurgeFile(profile, ctCookies);
  case ctHistory:
    return PurgeSQLiteStore<TChromeHistory>(profile, ctHistory);
  case ctCache:
  case ctPages:
    break;
  }
  return {};
}

} // namespace quillon
