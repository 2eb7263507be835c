#pragma once
// The readers behind the Netscape and Mozilla helpers' refresh slots, open to the benchmarks and
// tests that measure or probe one store alone. Each refuses a store larger than its size limit,
// or whose entries would take more memory than a store of its size may, before it lists an
// entry, and records why in the outcome.

#include "model/ActionOutcome.h"
#include "model/ProfileStores.h"

namespace quillon {

// Appends the cookies of the cookies.txt at the cookie location, in the order of the lines
// sorted ignoring case; a line counts only with exactly seven fields. Errors end the read, keep
// what was read and are recorded in the outcome.
TActionOutcome ReadCookiesTxt(TProfileStores& profile);

// Replaces the bookmark list with the anchors of the bookmarks.html at the bookmark location,
// each with the "\"-joined path of its folders. A file that cannot be read leaves the list empty
// and is recorded in the outcome.
TActionOutcome ReadBookmarksHtml(TProfileStores& profile);

// Appends the four start-page preferences of the prefs.js at the page location, whether the file
// holds them or not. A file that cannot be read adds nothing and is recorded in the outcome.
TActionOutcome ReadPrefsPages(TProfileStores& profile);

// Replaces the history list with the rows of the Mork file at the history location. Errors end
// the read, keep what was read and are recorded in the outcome.
TActionOutcome ReadMorkHistory(TProfileStores& profile);

} // namespace quillon
