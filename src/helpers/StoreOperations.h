#pragma once
// Store operations that several helpers share.

#include "model/ActionOutcome.h"
#include "model/BrowserCache.h"
#include "model/ProfileStores.h"
#include "winapi/WinApi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// Deletes the files directly in the folder at the kind's location (not its sub-folders nor
// anything in them), then empties the kind's list. A file that cannot be deleted stays, and the
// outcome says how many of the files went and why the others did not. Nothing happens when the
// folder does not exist or its location is 7 characters or shorter, so that a bare drive or a
// near-empty path is never swept.
TActionOutcome PurgeFolder(TProfileStores& profile, TCacheType kind);

// Deletes the file at the kind's location and, only when that succeeded, empties the kind's
// list. A missing file changes nothing and is no failure; one that exists and stays (held open
// by the browser, no rights) is.
TActionOutcome PurgeFile(TProfileStores& profile, TCacheType kind);

// What was being done to a store when it failed, for the wording of the reason.
enum class TFileStep : std::uint8_t { Read, Write, Delete };

// Why a store could not be read, written or deleted, as the user is told it: the store, what
// happened in plain words and the system's message for the error code.
std::string FileErrorReason(const std::string& store, TFileStep step, winapi::DWORD error);
// The same for the message of an exception. A message that names the store already says which
// one; any other gets the store and the step in front.
std::string ExceptionReason(const std::string& store, TFileStep step, const std::string& message);

} // namespace quillon
