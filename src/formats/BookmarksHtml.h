#pragma once
// The bookmarks.html that Netscape 4.x and the Mozilla family keep: folders open with an <H3>
// line and close with </DL>; each bookmark is one anchor line.

#include "model/BrowserCache.h"
#include "model/DateUtils.h"

#include <string>
#include <string_view>

namespace quillon {

// Appends the anchors of text, the content of the bookmarks.html at location, each with the
// "\"-joined path of its folders (bounded in levels and bytes; what lies beyond is shown as one
// "\…"). Raises EFileTooLarge, before any entry is made, when the entries would take more memory
// than a store of the text's size may.
void ParseBookmarksHtml(std::string_view text, const std::string& location, TCacheList& list);

// The file anew with CR LF line ends: every line of original as it was, except anchor lines
// whose title and address no entry of remaining has.
std::string RewriteBookmarksHtml(std::string_view original, const TCacheList& remaining);

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
