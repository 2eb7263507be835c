// The Netscape 4.x and Mozilla-family helpers: readers of cookies.txt, bookmarks.html, prefs.js,
// the Mork history and the Firefox 3 SQLite stores, and the cleans and purges built on them.

#include "helpers/BrowserHelper.h"

#include "formats/BookmarksHtml.h"
#include "formats/BrowserCacheSQLite.h"
#include "formats/CookiesTxt.h"
#include "formats/FFMorkSimple.h"
#include "formats/FileErrors.h"
#include "formats/MozillaPrefs.h"
#include "formats/StoreLimits.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <exception>
#include <span>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

constexpr std::int32_t kSQLiteGeneration = 3;

constexpr std::array<std::string_view, 4> kPagePreferences = {
    "browser.search.defaultengine", "browser.startup.homepage", "mailnews.start_page.url",
    "kmeleon.general.homePage"};

// Reads one kind from its file with read(location, list). Without the file there is nothing to
// read. read answers false with GetLastError set, or raises, when the file cannot be read; that
// becomes the kind's reason, and the entries read until then stay.
template <class TRead>
TActionOutcome ReadFileStore(TProfileStores& profile, TCacheType kind, TRead read) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, kind);
  const std::string& location = profile.GetLocation(kind);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  try {
    if (!read(location, profile.GetList(kind)))
      outcome.Fail(TStoreAccess::Read, kind, location,
                   FileErrorReason(location, TFileStep::Read, winapi::GetLastError()));
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, kind, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
  }
  return outcome;
}

} // namespace

TActionOutcome ReadCookiesTxt(TProfileStores& profile) {
  return ReadFileStore(profile, ctCookies, [](const std::string& location, TCacheList& list) {
    CheckStoreSize(location, kCookiesTxtLimit, "a cookie file");
    std::string text;
    if (!winapi::ReadWholeFile(location, text))
      return false;
    ParseCookiesTxt(text, location, list);
    return true;
  });
}

namespace {

// The anchors of the bookmarks.html at location. A file that cannot be read raises EFOpenError,
// one beyond kBookmarksHtmlLimit or whose entries would take more than its memory budget
// EFileTooLarge.
void ReadBookmarkAnchors(const std::string& location, TCacheList& list) {
  CheckStoreSize(location, kBookmarksHtmlLimit, "a bookmark file");
  std::string text;
  if (!winapi::ReadWholeFile(location, text))
    RaiseFileOpenError(location);
  ParseBookmarksHtml(text, location, list);
}

} // namespace

TActionOutcome ReadBookmarksHtml(TProfileStores& profile) {
  profile.GetList(ctBookmarks).Clear();
  return ReadFileStore(profile, ctBookmarks, [](const std::string& location, TCacheList& list) {
    ReadBookmarkAnchors(location, list);
    return true;
  });
}

TActionOutcome ReadPrefsPages(TProfileStores& profile) {
  return ReadFileStore(profile, ctPages, [](const std::string& location, TCacheList& list) {
    TMozillaPrefsList prefs;
    prefs.LoadFromFile(location);
    for (const std::string_view name : kPagePreferences) {
      TCacheItem& item = list.Add();
      item.Name = std::string(name);
      item.Content = prefs.ReadString(name);
    }
    return true;
  });
}

TActionOutcome ReadMorkHistory(TProfileStores& profile) {
  profile.GetList(ctHistory).Clear();
  // The rows read until a failure stay.
  return ReadFileStore(profile, ctHistory, [](const std::string& location, TCacheList& list) {
    TMorkFile mork;
    mork.KeepRawList = false;
    mork.KeepBuffer = false;
    mork.LoadFromFile(location);
    constexpr std::array<std::string_view, 4> kColumns = {"URL", "Hostname", "LastVisitDate",
                                                          "FirstVisitDate"};
    // What each entry will take is counted before it is made (rows can repeat one long value
    // that each entry would copy); at the budget the entries made are taken back, and the rows
    // left are only counted, so that the refusal says what all of them would take. Each row's
    // atoms are looked up once.
    const std::uint64_t held = mork.HeldBytes();
    const std::uint64_t budget = StoreMemoryBudget(mork.FileSize());
    std::uint64_t entryCost = 0;
    std::array<std::string_view, kColumns.size()> values;
    std::string scratch;
    const auto countRow = [&](std::size_t row) {
      mork.CellViews(row, kColumns, values, scratch);
      const std::string_view entry = mork.TableList()[row];
      entryCost += kListedEntryCost + ItemTextCost(std::min(entry.find('='), entry.size())) +
                   ItemTextCost(values[0].size()) + ItemTextCost(values[1].size());
    };
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      countRow(row);
      if (held + entryCost > budget) {
        list.Clear();
        while (++row < mork.RowCount())
          countRow(row);
        CheckStoreMemory(location, mork.FileSize(), held + entryCost, mork.RowCount(), "rows");
      }
      TCacheItem& item = list.Add();
      item.Name = mork.RowId(row);
      item.Path = values[0];
      item.Host = values[1];
      item.LastAccess = MorkTimeTextToDateTime(values[2]);
      item.Expires = MorkTimeTextToDateTime(values[3]);
    }
    return true;
  });
}

// --- Netscape ---

TActionOutcome TBrowserHelperNetscape::ReadKind(TProfileStores& profile, const THelperContext&,
                                                TCacheType kind) {
  switch (kind) {
  case ctCookies:
    return ReadCookiesTxt(profile);
  case ctPages:
    return ReadPrefsPages(profile);
  case ctBookmarks:
    return ReadBookmarksHtml(profile);
  case ctHistory: // kept in a format no reader here takes apart
  case ctCache:   // purged as a folder but never listed
    break;
  }
  return {};
}

TActionOutcome TBrowserHelperNetscape::CleanKind(TProfileStores& profile,
                                                 const THelperContext& context, TCacheType kind) {
  switch (kind) {
  case ctCookies:
    return CleanCookiesTxt(profile, context.Rule);
  case ctPages:
    return CleanPrefsPages(profile, context.Rule);
  case ctBookmarks:
    return CleanBookmarksHtml(profile, context.Rule);
  case ctCache:
  case ctHistory:
    break;
  }
  return {};
}

TActionOutcome TBrowserHelperNetscape::PurgeKind(TProfileStores& profile, const THelperContext&,
                                                 TCacheType kind) {
  switch (kind) {
  case ctCache:
    return PurgeFolder(profile, ctCache);
  case ctPages:
    return ResetPrefsPages(profile);
  case ctCookies:
  case ctHistory:
  case ctBookmarks:
    break;
  }
  return PurgeFile(profile, kind);
}

// --- Mozilla ---

TActionOutcome TBrowserHelperMozilla::ReadKind(TProfileStores& profile,
                                               const THelperContext& context, TCacheType kind) {
  const bool sqlite = profile.VersionTag == kSQLiteGeneration;
  if (sqlite && kind == ctCookies)
    return ReadSQLiteStore<TFirefox3Cookies>(profile, ctCookies);
  if (sqlite && kind == ctBookmarks)
    return ReadSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks);
  if (kind == ctHistory)
    return ReadMorkHistory(profile);
  return TBrowserHelperNetscape::ReadKind(profile, context, kind);
}

TActionOutcome TBrowserHelperMozilla::CleanKind(TProfileStores& profile,
                                                const THelperContext& context, TCacheType kind) {
  const bool sqlite = profile.VersionTag == kSQLiteGeneration;
  if (sqlite && kind == ctCookies)
    return CleanSQLiteStore<TFirefox3Cookies>(profile, ctCookies, context.Rule, false);
  if (sqlite && kind == ctBookmarks)
    return CleanSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks, context.Rule, true);
  return TBrowserHelperNetscape::CleanKind(profile, context, kind);
}

TActionOutcome TBrowserHelperMozilla::PurgeKind(TProfileStores& profile,
                                                const THelperContext& context, TCacheType kind) {
  // places.sqlite holds the history too; only its bookmarks go.
  if (kind == ctBookmarks && profile.VersionTag == kSQLiteGeneration)
    return PurgeSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks);
  return TBrowserHelperNetscape::PurgeKind(profile, context, kind);
}

} // namespace quillon
