#pragma once
// One walk over the URL cache with WinINet's protocol, shared by everything that lists it: each
// entry is fetched into a buffer of exactly the size the cache asks for, handed on, and freed.

#include "winapi/WinApi.h"

#include <functional>

namespace quillon {

// Visits every entry of the cache in the cache's order; visit answers false to stop early. The
// entry and its texts live only for the call. Deleting the visited entry from within visit is
// allowed, as WinINet allows it.
//
// Answers ERROR_SUCCESS when the walk saw every entry (or visit stopped it) and the cache closed
// the walk cleanly; otherwise the error that ended it, or the one closing it failed with (a cache
// that writes deletions when a walk closes reports their failure there).
winapi::DWORD
WalkUrlCache(const std::string& pattern,
             const std::function<bool(const winapi::INTERNET_CACHE_ENTRY_INFOA&)>& visit);

} // namespace quillon
