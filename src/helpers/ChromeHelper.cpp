// The Chrome helper: cookies, history and bookmarks from Chrome's SQLite databases. Start pages
// and the cache are not read.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "helpers/StoreOperations.h"

#include <exception>

namespace quillon {

namespace {

template <typename TStore> void ReloadKind(TBrowserProfile& profile, TCacheType kind) {
  TCacheList& list = profile.GetList(kind);
  list.Clear();
  try {
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    store.ReadEntries(list);
  } catch (const std::exception&) {
    // A database Chrome holds locked reads as empty.
  }
}

template <typename TStore>
void CleanKind(TBrowserProfile& profile, TCacheType kind, const TOnValidateCacheEntry& validate) {
  try {
    TCacheList& list = profile.GetList(kind);
    for (int i = list.Count() - 1; i >= 0; --i) {
      TCacheItem& item = list[i];
      std::string newcontent = item.Host + item.Path;
      item.ToBeDeleted = AskValidator(validate, profile, kind, &item, newcontent, false);
    }
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    store.DeleteMarked(list);
  } catch (const std::exception&) {
    // The database stays as it was.
  }
}

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
  ReloadKind<TChromeHistory>(profile, ctHistory);
}

void TBrowserHelperChrome::RefreshPages(TBrowserProfile&) {}

void TBrowserHelperChrome::RefreshBookmarks(TBrowserProfile& profile) {
  ReloadKind<TChromeBookmarks>(profile, ctBookmarks);
}

void TBrowserHelperChrome::RefreshCookies(TBrowserProfile& profile) {
  ReloadKind<TChromeCookies>(profile, ctCookies);
}

void TBrowserHelperChrome::RefreshCache(TBrowserProfile&) {}

void TBrowserHelperChrome::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                 const TOnValidateCacheEntry& validate) {
  if (!validate)
    return;
  if (KindsContain(kinds, ctBookmarks))
    CleanKind<TChromeBookmarks>(profile, ctBookmarks, validate);
  if (KindsContain(kinds, ctCookies))
    CleanKind<TChromeCookies>(profile, ctCookies, validate);
  if (KindsContain(kinds, ctHistory))
    CleanKind<TChromeHistory>(profile, ctHistory, validate);
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
