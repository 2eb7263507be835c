#pragma once
// The process-wide pieces every front end sets up before it creates the browser manager, in
// this order: the time-zone snapshot, the binding of the SID functions, the six helper
// instances and the path placeholders. The object undoes what can be undone when it dies.

namespace quillon {

class TProcessSetup {
public:
  TProcessSetup();
  ~TProcessSetup();
  TProcessSetup(const TProcessSetup&) = delete;
  TProcessSetup& operator=(const TProcessSetup&) = delete;
};

} // namespace quillon
