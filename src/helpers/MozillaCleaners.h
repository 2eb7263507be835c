#pragma once
// Clean and purge of the text stores that Netscape and the Mozilla family keep: start pages in
// prefs.js, cookies in cookies.txt, bookmarks in bookmarks.html. Each follows the clean protocol
// (ask the validator per entry, then write the store back) and replaces a store only through
// ReplaceStoreFile, so that no failed rewrite costs the user the store.

#include "helpers/BrowserHelper.h"
#include "model/DateUtils.h"

#include <string>
#include <string_view>

namespace quillon {

class TBrowserProfile;

// The page entries (Name = preference name) of the prefs.js at the profile's start-page
// location: each accepted entry's preference is set to the validator's newcontent (preset
// "about:blank"), added when missing, and the entry's Content follows once the file is written.
// Without a validator every entry is accepted. The file is written only when a preference
// changed. A missing file changes nothing; a file that cannot be read or written stays as it
// was, and the outcome says why.
TActionOutcome CleanPrefsPages(TBrowserProfile& profile, const TOnValidateCacheEntry& validate);
// Sets every page preference to "about:blank".
TActionOutcome ResetPrefsPages(TBrowserProfile& profile);

// Removes the accepted cookies (newcontent: Host followed by Path) from the cookies.txt and then
// from the list (a failure leaves both as they were). The file is written anew: the browsers' five
// header lines, then every line of the file in file order except the accepted entries' lines (their
// Plaintext; each takes one equal line) and the file's own header block (its leading empty lines
// and lines starting "# "), each ended by a line feed. Lines the list does not show (comments,
// #HttpOnly_ cookies, lines of another field count) stay. Without a validator, without the file, or
// with nothing to remove, the file is not written. A file that cannot be read (or is larger than
// kCookiesTxtLimit) or written stays as it was, and the outcome says why.
TActionOutcome CleanCookiesTxt(TBrowserProfile& profile, const TOnValidateCacheEntry& validate);

// Removes the accepted bookmarks (newcontent: Path "\" Name) from the list, copies the
// bookmarks.html to "<file>.vext.bak" (replacing an older backup) and writes it anew with CR LF
// line ends: every line as it was, except anchor lines whose title and address no remaining
// entry has. Without a validator, without the file, or when nothing was accepted, nothing is
// written. If the file cannot be read (or is larger than kBookmarksHtmlLimit) or the backup cannot
// be made, the file is not rewritten; a failed rewrite leaves it as it was. The outcome says why.
TActionOutcome CleanBookmarksHtml(TBrowserProfile& profile, const TOnValidateCacheEntry& validate);

// Takes apart one anchor line of a bookmarks.html:
//   <DT><A HREF="url" ADD_DATE="1100000000" LAST_VISIT="1100000500" ID="rdf:#$x">title</A>
// Attribute names are found in any letter case and any order; dates are (possibly fractional)
// Unix seconds, 0 when absent or not a number. identifier keeps its value when the line has no
// ID. Title and address are taken as they stand in the file, entities included; both are empty
// when the line has no HREF.
void ParseBookmarkLine(std::string_view line, std::string& title, std::string& url,
                       TDateTime& lastVisit, TDateTime& added, std::string& identifier);
// The same for a caller that has the line upper-cased (ASCII letters only) already.
void ParseBookmarkLine(std::string_view line, std::string_view upperLine, std::string& title,
                       std::string& url, TDateTime& lastVisit, TDateTime& added,
                       std::string& identifier);

} // namespace quillon
