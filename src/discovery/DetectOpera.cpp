#include "discovery/DiscoverySteps.h"

namespace quillon {

// The section frame only; the probing of this family's installations and profiles comes next.
void DetectOperaProfiles(TBrowserManager& manager) {
  manager.Log("[ Opera ]");
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
