#pragma once
// The discovery steps, one per browser family. Each appends its section to the manager's
// detection log (a header line, what it probes and adds, its own duration, an empty line), adds a
// profile for everything it finds and fills it through its helper's RefreshAll.

#include "discovery/BrowserManager.h"

namespace quillon {

void DetectInternetExplorerProfiles(TBrowserManager& manager);
void DetectOperaProfiles(TBrowserManager& manager);
void DetectMozillaProfiles(TBrowserManager& manager);
void DetectPortableFirefoxProfiles(TBrowserManager& manager);
void DetectChromeProfiles(TBrowserManager& manager);

} // namespace quillon
