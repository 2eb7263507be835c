#pragma once
// Clean and purge of the text stores that Netscape and the Mozilla family keep: start pages in
// prefs.js, cookies in cookies.txt, bookmarks in bookmarks.html. Each follows the clean protocol
// (ask the rule per entry, then write the store back) and replaces a store only through
// ReplaceStoreFile, so that no failed rewrite costs the user the store.

#include "helpers/BrowserHelper.h"
#include "model/ProfileStores.h"

namespace quillon {

// The page entries (Name = preference name) of the prefs.js at the profile's start-page
// location: each accepted entry's preference is set to the rule's content (offered
// "about:blank"), added when missing, and the entry's Content follows once the file is written.
// Without a rule every entry is accepted. The file is written only when a preference
// changed. A missing file changes nothing; a file that cannot be read or written stays as it
// was, and the outcome says why.
TActionOutcome CleanPrefsPages(TProfileStores& profile, const TCleanRule& rule);
// Sets every page preference to "about:blank".
TActionOutcome ResetPrefsPages(TProfileStores& profile);

// Removes the accepted cookies (offered: Host followed by Path) from the cookies.txt and then
// from the list (a failure leaves both as they were). The file is written anew as
// RewriteCookiesTxt does, without the accepted entries' lines (their Plaintext; each takes one
// equal line). Lines the list does not show (comments, #HttpOnly_ cookies, lines of another field
// count) stay. Without a rule, without the file, or with nothing to remove, the file is not
// written. A file that cannot be read (or is larger than
// kCookiesTxtLimit) or written stays as it was, and the outcome says why.
TActionOutcome CleanCookiesTxt(TProfileStores& profile, const TCleanRule& rule);

// Removes the accepted bookmarks (offered: Path "\" Name) from the list, copies the
// bookmarks.html to "<file>.vext.bak" (replacing an older backup) and writes it anew as
// RewriteBookmarksHtml does for the entries that remain. Without a rule, without the file, or when
// nothing was accepted, nothing is written. If the file cannot be read (or is larger than
// kBookmarksHtmlLimit) or the backup cannot be made, the file is not rewritten; a failed rewrite
// leaves it as it was. The outcome says why.
TActionOutcome CleanBookmarksHtml(TProfileStores& profile, const TCleanRule& rule);

} // namespace quillon
