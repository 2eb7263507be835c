#pragma once
// What a clean or purge is about to do, before it runs: the window's confirmation and the command
// line's dry run show it. A clean's preview asks the profile's rule about each listed entry, as
// the cleaners ask it; a purge's names each kind and how many entries go. Also the removal of
// entries the user picked: a clean whose rule accepts exactly those entries.

#include "discovery/ProfileActions.h"

#include <string>
#include <vector>

namespace quillon {

// Purges and "Clean all" ask first; a clean of one kind removes only what its rule names.
bool ActionNeedsConfirmation(TMainAction action);

struct TKindPreview {
  TCacheType Kind = ctCache;
  // The entries that go: those a clean's rule accepts, or a purge's whole list.
  int Count = 0;
  // How many entries the list holds now.
  int Listed = 0;
  // Whether the profile lists the kind at all; a purge still empties a store it does not list.
  bool Readable = true;
  // A clean's accepted entries: positions in the profile's list of the kind, in list order.
  std::vector<int> Entries;
};

struct TActionPreview {
  TActionVerb Verb = TActionVerb::Clean;
  // "Clean all", "Purge cookies", "Remove selected" …
  std::string Caption;
  // The kinds the action changes, in kind order.
  std::vector<TKindPreview> Kinds;
};

// Asks the profile's rule about every entry of each kind the action cleans, or counts what a
// purge takes. A kind shows when its action is enabled or it has something to remove: "Clean
// all" hands every kind to the helper, also those whose own clean is not offered.
TActionPreview PreviewAction(TBrowserProfile& profile, TMainAction action,
                             const TActionStates& enabled);

// The preview of removing the entries at the positions given (the rows the user picked).
// Positions out of range and repeats are dropped.
TActionPreview PreviewRemoval(const TBrowserProfile& profile, TCacheType kind,
                              std::vector<int> entries);

// Rows of the preview list: every accepted entry of the first kind, then the next kind's.
int PreviewRowCount(const TActionPreview& preview);
struct TPreviewRow {
  TCacheType Kind = ctCache;
  int Entry = -1; // position in the profile's list; -1 for a row out of range
};
TPreviewRow PreviewRowAt(const TActionPreview& preview, int row);

// "Cookies: 2 of 5 entries", "Cookies: all 5 entries", "Cache: the whole store (not listed)".
std::string PreviewKindLine(const TKindPreview& kind, TActionVerb verb);
// The question the confirmation asks: the action, the profile and the kinds, one per line.
std::string ConfirmationText(const TBrowserProfile& profile, const TActionPreview& preview);
// Name, browser and version, then where the profile lies.
std::string ProfileTitle(const TBrowserProfile& profile);
// The profile's folder; for another user's Internet Explorer profile that user's SID; for the
// session user's own Internet Explorer profile a phrase that says so.
std::string ProfileLocationText(const TBrowserProfile& profile);

// Removes the entries at the given positions of the current profile's list of kind: runs the
// profile's clean of that kind (only while it is enabled) with a rule that accepts exactly those
// entries, by identity, so two equal entries are told apart. The profile's own rule is back in
// place afterwards, also when the clean throws. The clean's refresh follows, as for any clean.
TActionOutcome RemoveEntries(TBrowserManager& manager, TCacheType kind,
                             const std::vector<int>& entries, const TActionStates& enabled,
                             const TListsChanged& listsChanged);

// The selected rows' cells, tab-separated, one line per entry (for the clipboard).
std::string EntriesText(const TBrowserProfile& profile, TCacheType kind,
                        const std::vector<int>& entries);

} // namespace quillon
