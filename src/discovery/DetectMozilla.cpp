#include "discovery/DiscoverySteps.h"

namespace quillon {

// The section frame only; the probing of this family's installations and profiles comes next.
void DetectMozillaProfiles(TBrowserManager& manager) {
  manager.Log("[ Mozilla Firefox & compatibles ]");
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
