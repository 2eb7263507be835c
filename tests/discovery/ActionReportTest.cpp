#include "discovery/ActionReport.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

TActionStates StatesOf(TBrowserType type) {
  TBrowserProfile profile;
  profile.SetBrowserType(type);
  return ProfileView(profile, AllActionsEnabled()).Enabled;
}

TActionOutcome Failing(TStoreAccess access, TCacheType kind, const std::string& reason) {
  TActionOutcome outcome;
  outcome.Fail(access, kind, "store", reason);
  return outcome;
}

TActionOutcome Asked(TCacheKinds kinds) {
  TActionOutcome outcome;
  for (int k = 0; k < kCacheTypeCount; ++k)
    if (kinds.Contains(static_cast<TCacheType>(k)))
      outcome.Ask(TStoreAccess::Change, static_cast<TCacheType>(k));
  return outcome;
}

} // namespace

TEST(ActionStatusText, SaysPerKindWhatWentWhatStayedAndWhatFailed) {
  const TEntryCounts firefox = {0, 5, 1, 4, 6};
  const struct {
    const char* name;
    TBrowserType type;
    TMainAction action;
    TEntryCounts before, after;
    TActionOutcome outcome;
    std::string expected;
  } cases[] = {
      {"clean",
       bFirefox,
       aCleanCookies,
       firefox,
       {0, 3, 1, 4, 6},
       Asked({ctCookies}),
       "Cookies: 2 removed, 3 kept"},
      {"purge",
       bFirefox,
       aPurgeCookies,
       firefox,
       {0, 0, 1, 4, 6},
       Asked({ctCookies}),
       "Cookies: 5 removed"},
      // Start pages are reset, not deleted: they are still listed after the purge.
      {"purge that leaves entries", bFirefox, aPurgePages, firefox, firefox, Asked({ctPages}),
       "Start pages: 0 removed, 4 kept"},
      // Firefox does not list its cache, so the purge's refresh does not run.
      {"purge of an unlisted kind", bFirefox, aPurgeCache, firefox, firefox, Asked({ctCache}),
       "Cache: purged"},
      {"refresh names the listed kinds",
       bFirefox,
       aRefreshAll,
       firefox,
       firefox,
       {},
       "Cookies: 5 entries; History: 1 entry; Start pages: 4 entries; Bookmarks: 6 entries"},
      {"clean all skips kinds neither offered nor touched",
       bChrome,
       aCleanAll,
       {0, 3, 4, 0, 2},
       {0, 1, 4, 0, 2},
       Asked({ctCookies, ctHistory, ctBookmarks}),
       "Cookies: 2 removed, 1 kept; History: 0 removed, 4 kept; Start pages: cleaned; "
       "Bookmarks: 0 removed, 2 kept"},
      {"failed change", bFirefox, aCleanCookies, firefox, firefox,
       Failing(TStoreAccess::Change, ctCookies, "cookies.txt is locked"),
       "Cookies: 0 removed, 5 kept; not changed: cookies.txt is locked"},
      {"failed read after a purge",
       bFirefox,
       aPurgeCookies,
       firefox,
       {0, 0, 1, 4, 6},
       Failing(TStoreAccess::Read, ctCookies, "line one\nline two"),
       "Cookies: cannot be read again: line one line two"},
      {"failed refresh",
       bFirefox,
       aRefreshBookmarks,
       firefox,
       {0, 5, 1, 4, 0},
       Failing(TStoreAccess::Read, ctBookmarks, "places.sqlite is damaged"),
       "Bookmarks: cannot be read: places.sqlite is damaged"},
      {"disabled action", bFirefox, aCleanCache, firefox, firefox, {}, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ActionStatusText(c.action, StatesOf(c.type), c.before, c.after, c.outcome),
              c.expected)
        << c.name;
}
