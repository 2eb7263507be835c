// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "formats/BrowserCacheSQLite.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"

#include <type_traits>

namespace quillon {

namespace {

// Calls use with the store class of the kind (as a std::type_identity); a kind Chrome keeps no
// store of answers nothing.
template <typename F> TActionOutcome WithStoreOf(TCacheType kind, F&& use) {
  switch (kind) {
  case ctBookmarks:
    return use(std::type_identity<TChromeBookmarks>{});
  case ctCookies:
    return use(std::type_identity<TChromeCookies>{});
  case ctHistory:
    return use(std::type_identity<TChromeHistory>{});
  case ctCache:
  case ctPages:
    break;
  }
  return {};
}

} // namespace

// Bookmarks go first: the History database keeps an address while a bookmark names it, so a
// purge of the history after the bookmarks' takes the addresses as well.
TBrowserHelperCustom::TKindOrder TBrowserHelperChrome::KindOrder() const {
  return {ctBookmarks, ctCookies, ctHistory, ctCache, ctPages};
}

TActionOutcome TBrowserHelperChrome::ReadKind(TProfileStores& profile, const THelperContext&,
                                              TCacheType kind) {
  return WithStoreOf(kind, [&]<typename TStore>(std::type_identity<TStore>) {
    return ReadSQLiteStore<TStore>(profile, kind);
  });
}

TActionOutcome TBrowserHelperChrome::CleanKind(TProfileStores& profile,
                                               const THelperContext& context, TCacheType kind) {
  if (!context.Rule)
    return {};
  return WithStoreOf(kind, [&]<typename TStore>(std::type_identity<TStore>) {
    return CleanSQLiteStore<TStore>(profile, kind, context.Rule, false);
  });
}

TActionOutcome TBrowserHelperChrome::PurgeKind(TProfileStores& profile, const THelperContext&,
                                               TCacheType kind) {
  // The cookies have a database of their own; the History database holds the visits and the
  // bookmarks, of which only the purged kind's rows go.
  if (kind == ctCookies)
    return PurgeFile(profile, ctCookies);
  return WithStoreOf(kind, [&]<typename TStore>(std::type_identity<TStore>) {
    return PurgeSQLiteStore<TStore>(profile, kind);
  });
}

} // namespace quillon
