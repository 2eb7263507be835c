#include "discovery/DiscoverySteps.h"

namespace quillon {

// The section frame only; the probing of this family's installations and profiles comes next.
void DetectInternetExplorerProfiles(TBrowserManager& manager) {
  manager.Log("[ Internet Explorer ]");
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
