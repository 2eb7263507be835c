#pragma once
// What the Opera cookie viewer and `quillon-cli opera-cookies` / `opera-cache` show of an Opera
// cookie file or cache index: the texts of the domain tree and of the table's rows. The window
// and the command line both take them from here, so they show the same.
//
// The tree has one node per domain, captioned with its label; under it "Size: n",
// "Filter Type: n", "Match Type: n", "Accept Type: n", then "Paths" (one child per path) and
// "Domains" (one child per sub-domain), each with the single child "< none >" when empty.

#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "model/DateFormat.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::string_view kO4NoneText = "< none >";

// --- The tree --------------------------------------------------------------------------------
// The children of a domain node, in order.
constexpr int kO4DomainChildCount = 6;
constexpr int kO4PathsChild = 4;
constexpr int kO4DomainsChild = 5;

// "Size: 12", "Filter Type: 1", "Match Type: 0", "Accept Type: 2", "Paths" or "Domains" for the
// child rows 0 .. 5 of a domain node; empty for any other row.
std::string O4DomainChildText(const TO4Domain& domain, int row);
// Rows under "Paths": one per path, or the one row "< none >".
int O4PathRowCount(const TO4Domain& domain);
std::string O4PathRowText(const TO4Domain& domain, int row);
// Rows under "Domains": one per sub-domain, or the one row "< none >", for which SubDomainRow
// answers null.
int O4SubDomainRowCount(const TO4Domain& domain);
const TO4Domain* O4SubDomainRow(const TO4Domain& domain, int row);

// Calls visit for every node of the tree in the order the tree shows them, with the node's
// level (0 for a top-level domain). Iterative: a damaged or hostile file may nest domains as deep
// as its size allows.
using TO4TreeVisit = std::function<void(int level, std::string_view text)>;
void VisitO4CookieTree(const TO4Domains& root, const TO4TreeVisit& visit);

// --- The table -------------------------------------------------------------------------------
struct TO4Column {
  std::string_view Caption;
  int Width; // pixels at 96 dpi
};
constexpr int kO4CookieColumnCount = 18;
// A cache index fills the first four of the same columns: address, file name, the HTTP record's
// text and its expiry stand under "Domain Path", "Name", "Value" and "Expires".
constexpr int kO4CacheColumnCount = 4;
const std::array<TO4Column, kO4CookieColumnCount>& O4CookieColumns();

// The table's cookies in their order: depth first, a domain's own cookies before those of its
// sub-domains.
std::vector<const TO4Cookie*> O4CookieRows(const TO4Domains& root);

// Items joined by the delimiter; an item that holds the delimiter, a double quote or a byte at or
// below the blank is put in double quotes, its own double quotes doubled. A list of one empty
// item gives "" so that it is told apart from an empty list.
std::string O4DelimitedText(const std::vector<std::string>& items, char delimiter);

// The longest "Domain Path" shown. Real names and path lists are far shorter; every row of a
// domain repeats the text, so a hostile file with a long one would otherwise cost its length once
// per cookie. A longer text is cut there and ends in kO4CutMark.
constexpr std::size_t kO4MaxDomainPathBytes = 4096;
inline constexpr std::string_view kO4CutMark = "[...]";

// The domain's full name, "/", and its paths as delimited text with "/": "a.example/"/"/"/a"".
std::string O4DomainPathText(const TO4Domain& domain);

// An Opera time (seconds since 1970, UTC; only the low 32 bits count) as local time in the
// default date-time format. 0 is a date like any other (1970-01-01).
std::string O4TimeText(std::uint64_t seconds, const TFormatSettings& settings = FormatSettings());

// The text of one cell of a cookie's row, columns as O4CookieColumns; empty outside them. A
// cookie that no domain holds has an empty "Domain Path".
std::string O4CookieCellText(const TO4Cookie& cookie, int column,
                             const TFormatSettings& settings = FormatSettings());
// The text of one cell of a cache entry's row, columns 0 .. 3; empty outside them.
std::string O4CacheCellText(const TO4CacheEntry& entry, int column,
                            const TFormatSettings& settings = FormatSettings());

// What the front ends tell the user about a load ("" after one that read the whole file): a
// header that is not Opera's, or where and why the load stopped. kind names the file: "cookie
// file", "cache index".
std::string O4LoadMessage(bool valid, const TO4LoadStop& stop, std::string_view kind);

} // namespace quillon
