#pragma once
// What the window tells the user after an action, one part per kind: "Cookies: 2 removed, 3 kept"
// after a clean, "Cookies: 5 removed" after a purge, "Cookies: 5 entries" after a refresh, and
// the reason when a store could not be changed or read again.

#include "discovery/ProfileActions.h"

#include <array>
#include <string>

namespace quillon {

// The entry count of each list of a profile, in kind order.
using TEntryCounts = std::array<int, kCacheTypeCount>;
TEntryCounts EntryCounts(const TBrowserProfile& profile);

// The line for the status bar after action ran with the enabled states it ran under, from the
// counts before and after it and what it met. Kinds are joined by "; ". Empty when the action
// did not run (disabled).
std::string ActionStatusText(TMainAction action, const TActionStates& enabled,
                             const TEntryCounts& before, const TEntryCounts& after,
                             const TActionOutcome& outcome);

} // namespace quillon
