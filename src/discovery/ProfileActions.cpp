#include "discovery/ProfileActions.h"

#include "discovery/EntryRows.h"

#include <initializer_list>

namespace quillon {

namespace {

constexpr int kActionsPerVerb = 1 + kCacheTypeCount;

constexpr std::array<std::string_view, kMainActionCount> kCaptions = {"Refresh all",
                                                                      "Refresh cache",
                                                                      "Refresh cookies",
                                                                      "Refresh history",
                                                                      "Refresh home/search pages",
                                                                      "Refresh bookmarks",
                                                                      "Clean all",
                                                                      "Clean cache",
                                                                      "Clean cookies",
                                                                      "Clean history",
                                                                      "Clean home/search pages",
                                                                      "Clean bookmarks",
                                                                      "Purge all",
                                                                      "Purge cache",
                                                                      "Purge cookies",
                                                                      "Purge history",
                                                                      "Purge home/search pages",
                                                                      "Purge bookmarks"};

constexpr std::array<std::string_view, kMainActionCount> kNames = {
    "aRefreshAll",       "aRefreshCache",   "aRefreshCookies", "aRefreshHistory", "aRefreshPages",
    "aRefreshBookmarks", "aCleanAll",       "aCleanCache",     "aCleanCookies",   "aCleanHistory",
    "aCleanPages",       "aCleanBookmarks", "aPurgeAll",       "aPurgeCache",     "aPurgeCookies",
    "aPurgeHistory",     "aPurgePages",     "aPurgeBookmarks"};

// Sets the five actions of a verb from flags; kinds without a flag keep their state.
void ApplyFlags(TActionStates& states, TActionVerb verb,
                const std::array<bool, kCacheTypeCount>& flags,
                std::initializer_list<TCacheType> kinds) {
  for (const TCacheType kind : kinds)
    states[MakeAction(verb, kind)] = flags[kind];
  bool any = false;
  for (int k = 0; k < kCacheTypeCount; ++k)
    any = any || states[MakeAction(verb, static_cast<TCacheType>(k))];
  states[MakeAction(verb)] = any;
}

} // namespace

TActionVerb ActionVerb(TMainAction action) {
  return static_cast<TActionVerb>(action / kActionsPerVerb);
}

std::optional<TCacheType> ActionKind(TMainAction action) {
  const int offset = action % kActionsPerVerb;
  if (offset == 0)
    return std::nullopt;
  return static_cast<TCacheType>(offset - 1);
}

TCacheKinds ActionKinds(TMainAction action) {
  const std::optional<TCacheType> kind = ActionKind(action);
  return kind ? TCacheKinds{*kind} : kAllCacheKinds;
}

TMainAction MakeAction(TActionVerb verb, std::optional<TCacheType> kind) {
  const int base = static_cast<int>(verb) * kActionsPerVerb;
  return static_cast<TMainAction>(kind ? base + 1 + *kind : base);
}

std::string_view ActionCaption(TMainAction action) {
  return kCaptions.at(action);
}

std::string_view ActionName(TMainAction action) {
  return kNames.at(action);
}

std::optional<TMainAction> FollowUpAction(TMainAction action) {
  if (ActionVerb(action) == TActionVerb::Refresh)
    return std::nullopt;
  return MakeAction(TActionVerb::Refresh, ActionKind(action));
}

TActionStates AllActionsEnabled() {
  TActionStates states;
  states.fill(true);
  return states;
}

TProfileView ProfileView(const TBrowserProfile& profile, const TActionStates& current) {
  TProfileView view;
  view.TabVisible = profile.CanRead;
  view.Enabled = current;
  ApplyFlags(view.Enabled, TActionVerb::Refresh, profile.CanRead,
             {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks});
  // The start-page and bookmark cleans and purges are left as they are: no profile disables them.
  ApplyFlags(view.Enabled, TActionVerb::Clean, profile.CanClean, {ctCache, ctCookies, ctHistory});
  ApplyFlags(view.Enabled, TActionVerb::Purge, profile.CanPurge, {ctCache, ctCookies, ctHistory});
  return view;
}

TActionOutcome ExecuteMainAction(TBrowserManager& manager, TMainAction action,
                                 const TActionStates& enabled, const TListsChanged& listsChanged) {
  TActionOutcome outcome;
  if (!enabled.at(action))
    return outcome;
  TBrowserProfile* profile = manager.ActiveProfile();
  if (profile == nullptr)
    return outcome;
  switch (ActionVerb(action)) {
  case TActionVerb::Refresh:
    outcome = profile->Refresh();
    if (listsChanged)
      listsChanged(ActionKinds(action));
    return outcome;
  case TActionVerb::Clean:
    outcome = profile->Clean(ActionKinds(action));
    break;
  case TActionVerb::Purge:
    outcome = profile->Purge(ActionKinds(action));
    break;
  }
  if (const std::optional<TMainAction> next = FollowUpAction(action))
    outcome.Merge(ExecuteMainAction(manager, *next, enabled, listsChanged));
  return outcome;
}

std::string ActionFailureMessage(const TBrowserProfile& profile, const TActionOutcome& outcome) {
  if (!outcome.Failed(TStoreAccess::Change))
    return {};
  std::string message = "Not everything could be removed from the profile " + profile.ProfileName +
                        " (" + std::string(profile.BrowserName()) + ", " + profile.ProfileLocation +
                        "):\n";
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const TKindOutcome& change = outcome.Of(TStoreAccess::Change, static_cast<TCacheType>(k));
    if (change.Result == TKindResult::Failed)
      message +=
          "\n" + std::string(EntryListCaption(static_cast<TCacheType>(k))) + ": " + change.Reason;
  }
  return message;
}

} // namespace quillon
