#include "helpers/StoreOperations.h"

#include "discovery/BrowserManager.h"

namespace quillon {

void ClearProfileLists(TBrowserProfile& profile) {
  for (TCacheList& list : profile.Lists)
    list.Clear();
}

} // namespace quillon
