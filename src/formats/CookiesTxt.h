#pragma once
// The cookies.txt that Netscape 4.x and the Mozilla family keep: one cookie per line, seven
// fields (domain, subdomains flag, path, secure flag, expiry in Unix seconds, name, value), "#"
// comment lines and a header block of "# " lines.

#include "model/BrowserCache.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

// The header a rewritten file starts with, as the browsers write it.
inline constexpr std::string_view kCookiesTxtHeader =
    "# HTTP Cookie File\n"
    "# http://www.netscape.com/newsref/std/cookie_spec.html\n"
    "# This is a generated file!  Do not edit.\n"
    "# To delete cookies, use the Cookie Manager.\n"
    "\n";

// Splits a cookies.txt line into its fields: blanks, tabs and other control characters separate
// them (runs count as one, so empty fields vanish); a field that starts with a double quote runs
// to the closing quote, two quotes inside standing for one.
std::vector<std::string> SplitCookieFields(std::string_view line);

// Appends the cookies of text, the content of the cookies.txt at location, in the order of the
// lines sorted as the system orders text ignoring case; a line counts only with exactly seven
// fields. Raises EFileTooLarge, before any entry is made, when the entries would take more
// memory than a store of the text's size may.
void ParseCookiesTxt(std::string_view text, const std::string& location, TCacheList& list);

// Lines to take out of a file, each with how many of its equal copies go.
using TLineCounts = std::unordered_map<std::string_view, std::size_t>;

struct TCookiesTxtRewrite {
  std::string Content;
  // How many lines were taken out.
  std::size_t Removed = 0;
};

// The file anew: the header, then every line of original in file order except the lines
// toRemove counts (each count taken down as its lines go) and the file's own header block (its
// leading empty lines and lines starting "# "), each ended by a line feed.
TCookiesTxtRewrite RewriteCookiesTxt(std::string_view original, TLineCounts& toRemove);

} // namespace quillon
