#include "discovery/ProcessSetup.h"

#include "helpers/BrowserHelper.h"
#include "model/DateUtils.h"
#include "platform/Accounts.h"
#include "platform/PathSolve.h"

namespace quillon {

TProcessSetup::TProcessSetup() {
  TakeTimeZoneSnapshot();
  // Without the SID functions discovery still runs; it names other users by SID text.
  BindSidFunctions();
  CreateBrowserHelpers();
  InitPathPlaceholders();
}

TProcessSetup::~TProcessSetup() {
  ResetPathPlaceholders();
  UnbindSidFunctions();
}

} // namespace quillon
