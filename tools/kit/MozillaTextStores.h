#pragma once
// Image kit: the text stores of Netscape 4 and the Mozilla family as those browsers wrote them:
//
//   prefs.js        # Mozilla User Preferences / comment block / user_pref("name", value);
//                   sorted by name, strings with \ and " escaped by a backslash
//   cookies.txt     # HTTP Cookie File / header / domain TAB flag TAB path TAB secure TAB
//                   expiry TAB name TAB value
//   bookmarks.html  <!DOCTYPE NETSCAPE-Bookmark-file-1> ... nested <DL><p> folders with <H3>
//                   headings and <DT><A HREF="..." ADD_DATE="..." ...>title</A> anchors
//
// The Windows builds wrote CR LF; LF is there for the builds of other systems and for files that
// travelled.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::kit {

enum class TMozillaDialect { Mozilla, Netscape4 };

struct TMozillaTextOptions {
  TMozillaDialect Dialect = TMozillaDialect::Mozilla;
  bool CrLf = true;
};

// --- prefs.js --------------------------------------------------------------------------------

enum class TPrefKind { String, Integer, Boolean };

struct TPrefValue {
  std::string Name;
  std::string Value; // a string's plain value, or the integer or "true"/"false" as written
  TPrefKind Kind = TPrefKind::String;
};

// One statement as the browser writes it: user_pref("name", "value"); or user_pref("name", 5);
std::string PrefsJsLine(const TPrefValue& pref);
// The whole file: the dialect's header and the statements sorted by name, as the browser saved.
std::string BuildPrefsJs(std::vector<TPrefValue> prefs, TMozillaTextOptions options = {});

// --- cookies.txt -----------------------------------------------------------------------------

struct TCookieTxt {
  std::string Domain; // ".example.com" for a domain cookie
  bool Subdomains = true;
  std::string Path = "/";
  bool Secure = false;
  std::int64_t Expires = 0; // Unix seconds
  std::string Name;
  std::string Value;
};

// One cookie line, without its line break.
std::string CookiesTxtLine(const TCookieTxt& cookie);
// The dialect's header, then one line per cookie in the given order.
std::string BuildCookiesTxt(const std::vector<TCookieTxt>& cookies,
                            TMozillaTextOptions options = {});

// --- bookmarks.html --------------------------------------------------------------------------

struct TBookmarkNode {
  enum class TKind { Bookmark, Folder, Separator };
  TKind Kind = TKind::Bookmark;
  std::string Title; // plain text; written with &, <, >, " as entities
  std::string Url;
  std::int64_t AddDate = 0;   // Unix seconds; 0: the attribute is left out
  std::int64_t LastVisit = 0; // likewise
  std::int64_t LastModified = 0;
  std::string Id;          // ID="..." (Mozilla only; empty: left out)
  std::string Description; // a <DD> line after the entry
  std::vector<TBookmarkNode> Children;

  static TBookmarkNode Bookmark(std::string title, std::string url, std::int64_t addDate = 0,
                                std::int64_t lastVisit = 0, std::string id = {});
  static TBookmarkNode Folder(std::string title, std::vector<TBookmarkNode> children,
                              std::int64_t addDate = 0);
  static TBookmarkNode Separator();
};

// Where an anchor of the written file stands, as a reader of the file should find it.
struct TBookmarkRecord {
  std::string Title; // as written, entities included
  std::string Url;
  std::string FolderPath; // folder titles as written, joined by "\"
  std::string Line;       // the anchor line without its line break
};

// Title text as the browsers escape it in the file.
std::string EscapeBookmarkText(std::string_view text);

// The whole file; records, when given, receives every anchor in file order.
std::string BuildBookmarksHtml(const std::vector<TBookmarkNode>& root,
                               TMozillaTextOptions options = {},
                               std::vector<TBookmarkRecord>* records = nullptr);

} // namespace quillon::kit
