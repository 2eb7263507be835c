#pragma once
// Store operations that several helpers share.

#include "model/BrowserCache.h"

#include <string>
#include <string_view>

namespace quillon {

class TBrowserProfile;

// Empties all five entry lists of the profile; every full refresh starts with it, so a refresh
// shows what the stores hold now and nothing of an earlier read.
void ClearProfileLists(TBrowserProfile& profile);

// Deletes the files directly in the folder at the kind's location (not its sub-folders nor
// anything in them), then empties the kind's list. A file that cannot be deleted stays. Nothing
// happens when the folder does not exist or its location is 7 characters or shorter, so that a
// bare drive or a near-empty path is never swept.
void PurgeFolder(TBrowserProfile& profile, TCacheType kind);

// Deletes the file at the kind's location and, only when that succeeded, empties the kind's
// list; a missing file or one held open by the browser changes nothing.
void PurgeFile(TBrowserProfile& profile, TCacheType kind);

// The folder part of a Windows path: everything up to and including the last "\" or ":"; empty
// when there is neither.
std::string ExtractFolderPart(std::string_view path);

} // namespace quillon
