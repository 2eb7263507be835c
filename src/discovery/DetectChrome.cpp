#include "discovery/DiscoverySteps.h"

namespace quillon {

// The section frame only; the probing of this family's installations and profiles comes next.
void DetectChromeProfiles(TBrowserManager& manager) {
  manager.Log("[ Google Chrome ]");
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
