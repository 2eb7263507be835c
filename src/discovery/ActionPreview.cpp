#include "discovery/ActionPreview.h"

#include "discovery/EntryRows.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace quillon {

namespace {

// What the cleaners offer the rule with an entry: a start page's new value, a bookmark's folder
// path and name, otherwise host and path. The rule of the window decides on the entry alone.
std::string OfferedText(TCacheType kind, const TCacheItem& item) {
  switch (kind) {
  case ctPages:
    return "about:blank";
  case ctBookmarks:
    return item.Path + "\\" + item.Name;
  case ctCache:
  case ctCookies:
  case ctHistory:
    break;
  }
  return item.Host + item.Path;
}

std::string Entries(int count) {
  return std::to_string(count) + (count == 1 ? " entry" : " entries");
}

// Puts the profile's rule back when the removal ends, however it ends.
class TRuleSwap {
public:
  TRuleSwap(TBrowserProfile& profile, TOnValidateCacheEntry rule)
      : profile_(profile), saved_(std::exchange(profile.OnValidateCacheEntry, std::move(rule))) {}
  ~TRuleSwap() { profile_.OnValidateCacheEntry = std::move(saved_); }
  TRuleSwap(const TRuleSwap&) = delete;
  TRuleSwap& operator=(const TRuleSwap&) = delete;

private:
  TBrowserProfile& profile_;
  TOnValidateCacheEntry saved_;
};

} // namespace

bool ActionNeedsConfirmation(TMainAction action) {
  return ActionVerb(action) == TActionVerb::Purge || action == aCleanAll;
}

TActionPreview PreviewAction(TBrowserProfile& profile, TMainAction action,
                             const TActionStates& enabled) {
  TActionPreview preview;
  preview.Verb = ActionVerb(action);
  preview.Caption = std::string(ActionCaption(action));
  if (preview.Verb == TActionVerb::Refresh)
    return preview;
  const TCacheKinds kinds = ActionKinds(action);
  // Built once: the rule holds the profile's callback, which every question goes through.
  const TCleanRule rule =
      preview.Verb == TActionVerb::Clean ? profile.HelperContext().Rule : TCleanRule();
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    if (!kinds.Contains(kind))
      continue;
    TCacheList& list = profile.GetList(kind);
    TKindPreview entry;
    entry.Kind = kind;
    entry.Listed = list.Count();
    entry.Readable = profile.CanRead[kind];
    if (preview.Verb == TActionVerb::Purge) {
      entry.Count = list.Count();
    } else {
      // Every cleaner resets start pages when there is no rule at all.
      for (int i = 0; i < list.Count(); ++i)
        if (AskRule(rule, kind, &list[i], OfferedText(kind, list[i]), kind == ctPages).Remove)
          entry.Entries.push_back(i);
      entry.Count = static_cast<int>(entry.Entries.size());
    }
    if (enabled.at(MakeAction(preview.Verb, kind)) || entry.Count > 0)
      preview.Kinds.push_back(std::move(entry));
  }
  return preview;
}

TActionPreview PreviewRemoval(const TBrowserProfile& profile, TCacheType kind,
                              std::vector<int> entries) {
  const int count = profile.GetList(kind).Count();
  std::erase_if(entries, [count](int i) { return i < 0 || i >= count; });
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  TActionPreview preview;
  preview.Verb = TActionVerb::Clean;
  preview.Caption = "Remove selected";
  TKindPreview entry;
  entry.Kind = kind;
  entry.Listed = count;
  entry.Readable = profile.CanRead[kind];
  entry.Count = static_cast<int>(entries.size());
  entry.Entries = std::move(entries);
  preview.Kinds.push_back(std::move(entry));
  return preview;
}

int PreviewRowCount(const TActionPreview& preview) {
  int rows = 0;
  for (const TKindPreview& kind : preview.Kinds)
    rows += static_cast<int>(kind.Entries.size());
  return rows;
}

TPreviewRow PreviewRowAt(const TActionPreview& preview, int row) {
  if (row < 0)
    return {};
  for (const TKindPreview& kind : preview.Kinds) {
    const int size = static_cast<int>(kind.Entries.size());
    if (row < size)
      return {kind.Kind, kind.Entries[static_cast<std::size_t>(row)]};
    row -= size;
  }
  return {};
}

std::string PreviewKindLine(const TKindPreview& kind, TActionVerb verb) {
  const std::string caption(EntryListCaption(kind.Kind));
  if (!kind.Readable && kind.Listed == 0)
    return caption + (verb == TActionVerb::Purge ? ": the whole store (its entries are not listed)"
                                                 : ": nothing listed to remove");
  if (verb == TActionVerb::Purge)
    return caption + ": " +
           (kind.Count == 0 ? std::string("no entries listed") : "all " + Entries(kind.Count));
  return caption + ": " + std::to_string(kind.Count) + " of " + Entries(kind.Listed);
}

std::string ProfileLocationText(const TBrowserProfile& profile) {
  if (!profile.ProfileLocation.empty())
    return profile.ProfileLocation;
  return "the session user's own profile";
}

std::string ProfileTitle(const TBrowserProfile& profile) {
  const std::string version = profile.Version.empty() ? "" : " " + profile.Version;
  return profile.ProfileName + " (" + std::string(profile.BrowserName()) + version + ")";
}

std::string ConfirmationText(const TBrowserProfile& profile, const TActionPreview& preview) {
  int total = 0;
  for (const TKindPreview& kind : preview.Kinds)
    total += kind.Count;
  std::string text;
  if (preview.Verb == TActionVerb::Purge)
    text = preview.Caption + ": remove these kinds of data as a whole from the profile";
  else
    text = preview.Caption + ": remove " + Entries(total) + " from the profile";
  text += "\n" + ProfileTitle(profile) + "\n" + ProfileLocationText(profile) + "\n";
  for (const TKindPreview& kind : preview.Kinds)
    text += "\n" + PreviewKindLine(kind, preview.Verb);
  if (preview.Kinds.empty())
    text += "\nNothing to remove.";
  return text;
}

TActionOutcome RemoveEntries(TBrowserManager& manager, TCacheType kind,
                             const std::vector<int>& entries, const TActionStates& enabled,
                             const TListsChanged& listsChanged) {
  const TMainAction clean = MakeAction(TActionVerb::Clean, kind);
  TBrowserProfile* profile = manager.ActiveProfile();
  if (profile == nullptr || !enabled.at(clean) || entries.empty())
    return {};
  const TCacheList& list = profile->GetList(kind);
  // Entries keep their addresses while they are in their list, so the address names the entry
  // the user saw, also among equal ones.
  auto chosen = std::make_shared<std::unordered_set<const TCacheItem*>>();
  chosen->reserve(entries.size());
  for (const int i : entries)
    if (i >= 0 && i < list.Count())
      chosen->insert(&list.Items(i));
  if (chosen->empty())
    return {};
  const TRuleSwap swap(*profile, [kind, chosen](TBrowserProfile&, TCacheType typ, TCacheItem* item,
                                                bool& doclean, std::string&) {
    doclean = typ == kind && item != nullptr && chosen->contains(item);
  });
  return ExecuteMainAction(manager, clean, enabled, listsChanged);
}

std::string EntriesText(const TBrowserProfile& profile, TCacheType kind,
                        const std::vector<int>& entries) {
  const TCacheList& list = profile.GetList(kind);
  const TFormatSettings& settings = FormatSettings();
  std::string text;
  for (const int i : entries) {
    if (i < 0 || i >= list.Count())
      continue;
    const std::vector<std::string> cells = EntryRowTexts(kind, list.Items(i), settings);
    for (std::size_t c = 0; c < cells.size(); ++c)
      text += (c == 0 ? "" : "\t") + cells[c];
    text += '\n';
  }
  return text;
}

} // namespace quillon
