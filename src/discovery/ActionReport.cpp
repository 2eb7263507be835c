#include "discovery/ActionReport.h"

#include "discovery/EntryRows.h"

#include <algorithm>

namespace quillon {

namespace {

std::string Entries(int count) {
  return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

// Reasons name stores and carry the system's message; the status bar has one line.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

std::string RefreshPart(TCacheType kind, const TEntryCounts& after, const TActionOutcome& outcome) {
  const TKindOutcome& read = outcome.Of(TStoreAccess::Read, kind);
  if (read.Result == TKindResult::Failed)
    return "cannot be read: " + OneLine(read.Reason);
  return Entries(after.at(kind));
}

std::string ChangePart(TMainAction action, TCacheType kind, bool reread, const TEntryCounts& before,
                       const TEntryCounts& after, const TActionOutcome& outcome) {
  const TActionVerb verb = ActionVerb(action);
  std::string part;
  if (!reread) {
    // The kind is not listed for this profile, so no count says what went.
    part = verb == TActionVerb::Purge ? "purged" : "cleaned";
  } else if (outcome.Failed(TStoreAccess::Read, kind)) {
    part = "cannot be read again: " + OneLine(outcome.Of(TStoreAccess::Read, kind).Reason);
  } else {
    const int removed = std::max(0, before.at(kind) - after.at(kind));
    part = std::to_string(removed) + " removed";
    if (verb == TActionVerb::Clean || after.at(kind) > 0)
      part += ", " + std::to_string(after.at(kind)) + " kept";
  }
  const TKindOutcome& change = outcome.Of(TStoreAccess::Change, kind);
  if (change.Result == TKindResult::Failed)
    part += "; not changed: " + OneLine(change.Reason);
  return part;
}

} // namespace

TEntryCounts EntryCounts(const TBrowserProfile& profile) {
  TEntryCounts counts{};
  for (int k = 0; k < kCacheTypeCount; ++k)
    counts.at(static_cast<std::size_t>(k)) = profile.GetList(static_cast<TCacheType>(k)).Count();
  return counts;
}

std::string ActionStatusText(TMainAction action, const TActionStates& enabled,
                             const TEntryCounts& before, const TEntryCounts& after,
                             const TActionOutcome& outcome) {
  if (!enabled.at(action))
    return {};
  const TActionVerb verb = ActionVerb(action);
  const TCacheKinds kinds = ActionKinds(action);
  const std::optional<TMainAction> followUp = FollowUpAction(action);
  const bool followUpRan = followUp && enabled.at(*followUp);
  std::string text;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    if (!kinds.Contains(kind))
      continue;
    // A refresh reads every kind but the user sees those the profile lists.
    const bool listed = enabled.at(MakeAction(TActionVerb::Refresh, kind));
    std::string part;
    if (verb == TActionVerb::Refresh) {
      if (!listed)
        continue;
      part = RefreshPart(kind, after, outcome);
    } else {
      const bool asked = outcome.Of(TStoreAccess::Change, kind).Result != TKindResult::NotAsked;
      if (!enabled.at(MakeAction(verb, kind)) && !asked && before.at(kind) == after.at(kind))
        continue;
      part = ChangePart(action, kind, followUpRan && listed, before, after, outcome);
    }
    if (!text.empty())
      text += "; ";
    text += std::string(EntryListCaption(kind)) + ": " + part;
  }
  return text;
}

} // namespace quillon
