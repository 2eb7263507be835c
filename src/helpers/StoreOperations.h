#pragma once
// Store operations that several helpers share.

namespace quillon {

class TBrowserProfile;

// Empties all five entry lists of the profile; every full refresh starts with it, so a refresh
// shows what the stores hold now and nothing of an earlier read.
void ClearProfileLists(TBrowserProfile& profile);

} // namespace quillon
