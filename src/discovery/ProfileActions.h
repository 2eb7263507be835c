#pragma once
// The refresh, clean and purge actions of the main window, without the window: their captions,
// which of them a profile's capability flags enable, which tabs it shows, and how an action runs
// with its follow-up refresh. The window and the tests share these rules.

#include "discovery/BrowserManager.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// For each verb the "all" action, then one per kind in kind order.
enum TMainAction : std::uint8_t {
  aRefreshAll,
  aRefreshCache,
  aRefreshCookies,
  aRefreshHistory,
  aRefreshPages,
  aRefreshBookmarks,
  aCleanAll,
  aCleanCache,
  aCleanCookies,
  aCleanHistory,
  aCleanPages,
  aCleanBookmarks,
  aPurgeAll,
  aPurgeCache,
  aPurgeCookies,
  aPurgeHistory,
  aPurgePages,
  aPurgeBookmarks
};
constexpr int kMainActionCount = 18;

enum class TActionVerb : std::uint8_t { Refresh, Clean, Purge };

TActionVerb ActionVerb(TMainAction action);
// The kind an action of one kind works on; none for the "all" actions.
std::optional<TCacheType> ActionKind(TMainAction action);
// The kinds as the helpers take them: the action's one kind, or all of them.
TCacheKinds ActionKinds(TMainAction action);
// The action of a verb for one kind, or the "all" action of the verb.
TMainAction MakeAction(TActionVerb verb, std::optional<TCacheType> kind = std::nullopt);
// "Refresh all", "Clean cookies", "Purge home/search pages" …
std::string_view ActionCaption(TMainAction action);
// The object name the window gives the action ("aRefreshAll", "aCleanCookies" …).
std::string_view ActionName(TMainAction action);
// What runs after a clean or purge: the refresh of the same kind, or "Refresh all".
std::optional<TMainAction> FollowUpAction(TMainAction action);

// Which actions are enabled, indexed by TMainAction.
using TActionStates = std::array<bool, kMainActionCount>;
TActionStates AllActionsEnabled();

// What the window shows for a profile: the five data tabs in kind order and the actions.
struct TProfileView {
  std::array<bool, kCacheTypeCount> TabVisible{};
  TActionStates Enabled{};
};

// Applies the profile's capability flags. Refreshes follow CanRead; cleans and purges of cache,
// cookies and history follow CanClean and CanPurge, while those of start pages and bookmarks keep
// the state they have in current; each "all" action is enabled when one of its five is.
TProfileView ProfileView(const TBrowserProfile& profile, const TActionStates& current);

// Hears which lists must show their kind's entry count again after a refresh.
using TListsChanged = std::function<void(TCacheKinds kinds)>;

// Runs an action on the manager's current profile, then its follow-up refresh, and answers what
// both met: the clean or purge under TStoreAccess::Change, the refresh under Read. An action
// that is disabled in enabled, or has no current profile, does nothing; this also holds for the
// follow-up. A refresh re-reads all kinds and reports its own kind (or all) to listsChanged.
TActionOutcome ExecuteMainAction(TBrowserManager& manager, TMainAction action,
                                 const TActionStates& enabled, const TListsChanged& listsChanged);

// What the window tells the user when a clean or purge could not change every store: the
// profile, then one line per failed kind with its reason. Empty when nothing failed.
std::string ActionFailureMessage(const TBrowserProfile& profile, const TActionOutcome& outcome);

} // namespace quillon
