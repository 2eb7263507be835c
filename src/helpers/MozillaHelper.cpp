// The Netscape 4.x and Mozilla-family helpers: readers of cookies.txt, bookmarks.html, prefs.js,
// the Mork history and the Firefox 3 SQLite stores, and the cleans and purges built on them.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "formats/FFMorkSimple.h"
#include "formats/FileErrors.h"
#include "formats/MozillaPrefs.h"
#include "formats/StoreLimits.h"
#include "formats/TextLines.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <exception>
#include <span>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

constexpr std::int32_t kSQLiteGeneration = 3;

constexpr std::array<std::string_view, 4> kPagePreferences = {
    "browser.search.defaultengine", "browser.startup.homepage", "mailnews.start_page.url",
    "kmeleon.general.homePage"};

bool IsFieldSeparator(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// Calls onField for each field of a cookies.txt line. An unquoted field is a view into the
// line; a quoted one is built in scratch, which the next field may overwrite.
template <class F>
void ForEachCookieField(std::string_view line, std::string& scratch, F&& onField) {
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && IsFieldSeparator(line[pos]))
      ++pos;
    if (pos >= line.size())
      return;
    if (line[pos] == '"') {
      scratch.clear();
      ++pos;
      while (pos < line.size()) {
        const std::size_t quote = line.find('"', pos);
        if (quote == std::string_view::npos) {
          scratch.append(line.substr(pos));
          pos = line.size();
          break;
        }
        scratch.append(line.substr(pos, quote - pos));
        pos = quote + 1;
        if (pos < line.size() && line[pos] == '"') {
          scratch += '"';
          ++pos;
          continue;
        }
        break;
      }
      onField(std::string_view(scratch));
    } else {
      const std::size_t start = pos;
      while (pos < line.size() && !IsFieldSeparator(line[pos]))
        ++pos;
      onField(line.substr(start, pos - start));
    }
  }
}

// A cookie line has seven fields; the smallest is seven one-byte fields and six separators.
constexpr std::size_t kCookieFields = 7;
constexpr std::size_t kShortestCookieLine = 13;

// The fields of a cookies.txt line that makes a cookie, reused from line to line so that short
// fields cost no allocation.
using TCookieFields = std::array<std::string, kCookieFields>;

// Splits a line into fields; true when it has exactly the seven of a cookie.
bool SplitCookieLine(std::string_view line, std::string& scratch, TCookieFields& fields) {
  std::size_t count = 0;
  ForEachCookieField(line, scratch, [&](std::string_view field) {
    if (count < kCookieFields)
      fields[count].assign(field);
    ++count;
  });
  return count == kCookieFields;
}

// Calls onLine for each line of a cookies.txt that can be a cookie: comments and lines too short
// for seven fields are passed over.
template <class F> void ForEachCookieLine(std::string_view text, F&& onLine) {
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    if (line.Text.size() >= kShortestCookieLine && line.Text.front() != '#')
      onLine(line.Text);
  }
}

// The folder path of the anchors of a bookmarks.html while it is read. A file can nest folders
// as deep as it likes and give them names as long as it likes, and every anchor keeps a copy of
// the path: the path kept is therefore bounded, in levels and in bytes, and what lies beyond is
// shown as one "\…". The levels still count, so each </DL> closes the right one.
class TBookmarkFolderPath {
public:
  static constexpr std::size_t kMaxLevels = 16;
  static constexpr std::size_t kMaxBytes = 256;
  static constexpr std::string_view kElided = "\xE2\x80\xA6"; // U+2026, the ellipsis

  const std::string& Text() const { return path_; }

  void Open(std::string_view name) {
    ++depth_;
    if (elidedAt_ != 0)
      return;
    const std::size_t before = path_.size();
    const std::size_t added = (path_.empty() ? 0 : 1) + name.size();
    if (depth_ > kMaxLevels || before + added > kMaxBytes) {
      elidedAt_ = depth_;
      if (!path_.empty())
        path_ += '\\';
      path_ += kElided;
      elidedFrom_ = before;
      return;
    }
    starts_.push_back(before);
    if (!path_.empty())
      path_ += '\\';
    path_ += name;
  }

  // A close without an open folder (the file's outermost list) changes nothing.
  void Close() {
    if (depth_ == 0)
      return;
    if (elidedAt_ != 0) {
      if (depth_ == elidedAt_) {
        path_.resize(elidedFrom_);
        elidedAt_ = 0;
      }
    } else {
      path_.resize(starts_.back());
      starts_.pop_back();
    }
    --depth_;
  }

private:
  std::string path_;
  std::vector<std::size_t> starts_; // where each kept level begins in path_
  std::size_t depth_ = 0;           // levels open, kept or not
  std::size_t elidedAt_ = 0;        // the level that was elided first; 0 when none is
  std::size_t elidedFrom_ = 0;      // path_'s size before that level
};

} // namespace

std::vector<std::string> SplitCookieFields(std::string_view line) {
  std::vector<std::string> fields;
  std::string scratch;
  ForEachCookieField(line, scratch, [&](std::string_view field) { fields.emplace_back(field); });
  return fields;
}

TActionOutcome ReadCookiesTxt(TBrowserProfile& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctCookies);
  const std::string& location = profile.GetLocation(ctCookies);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  TCacheList& list = profile.GetList(ctCookies);
  try {
    CheckStoreSize(location, kCookiesTxtLimit, "a cookie file");
    std::string text;
    if (!winapi::ReadWholeFile(location, text)) {
      outcome.Fail(TStoreAccess::Read, ctCookies, location,
                   FileErrorReason(location, TFileStep::Read, winapi::GetLastError()));
      return outcome;
    }
    // What the entries will take is counted before any is made.
    TCookieFields fields;
    std::string scratch;
    std::uint64_t entries = 0;
    std::uint64_t entryCost = 0;
    ForEachCookieLine(text, [&](std::string_view l) {
      if (!SplitCookieLine(l, scratch, fields))
        return;
      ++entries;
      entryCost += kListedEntryCost + StringHeapCost(location.size()) + StringHeapCost(l.size());
      for (const std::size_t field : {0, 2, 5, 6})
        entryCost += StringHeapCost(fields[field].size());
    });
    // Lines are sorted as the system orders text ignoring case. One sort key per line, all kept
    // in one buffer and compared with memcmp, gives that order without a call per comparison.
    // The keys, as long as their lines, go before the entries come, which take more.
    struct TKeyedLine {
      std::size_t keyStart;
      std::uint32_t keyLength, textStart, textLength; // the file is far below 4 GB
    };
    CheckStoreMemory(location, text.size(), text.size() + entries * sizeof(TKeyedLine) + entryCost,
                     entries, "cookies");

    std::vector<TKeyedLine> lines;
    lines.reserve(entries);
    std::string keys, key;
    keys.reserve(text.size());
    ForEachCookieLine(text, [&](std::string_view l) {
      if (!SplitCookieLine(l, scratch, fields))
        return;
      winapi::LCMapString(winapi::LOCALE_USER_DEFAULT,
                          winapi::LCMAP_SORTKEY | winapi::NORM_IGNORECASE, l, key);
      lines.push_back({keys.size(), static_cast<std::uint32_t>(key.size()),
                       static_cast<std::uint32_t>(l.data() - text.data()),
                       static_cast<std::uint32_t>(l.size())});
      keys += key;
    });
    const auto keyOf = [&keys](const TKeyedLine& l) {
      return std::string_view(keys.data() + l.keyStart, l.keyLength);
    };
    std::stable_sort(
        lines.begin(), lines.end(),
        [&keyOf](const TKeyedLine& a, const TKeyedLine& b) { return keyOf(a) < keyOf(b); });
    std::string().swap(keys);

    for (const TKeyedLine& keyed : lines) {
      const std::string_view l = std::string_view(text).substr(keyed.textStart, keyed.textLength);
      SplitCookieLine(l, scratch, fields);
      TCacheItem& item = list.Add();
      item.CacheFile = location;
      item.Host = fields[0];
      item.Path = fields[2];
      TryUnixTimeTextToDateTime(fields[4], item.Expires);
      item.Name = fields[5];
      item.Content = fields[6];
      item.Plaintext = l;
    }
  } catch (const std::exception& e) {
    // The entries read so far stay.
    outcome.Fail(TStoreAccess::Read, ctCookies, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
  }
  return outcome;
}

namespace {

// Calls onAnchor(line, upperLine, folderPath) for each anchor line of a bookmarks.html, with
// the "\"-joined path of its folders. upper is the text upper-cased.
template <class F>
void ForEachBookmarkAnchor(std::string_view text, std::string_view upper, F&& onAnchor) {
  TBookmarkFolderPath folderPath;
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    const std::string_view l = line.Text;
    if (l.find("<A HREF=") != std::string_view::npos) {
      onAnchor(l, upper.substr(static_cast<std::size_t>(l.data() - text.data()), l.size()),
               folderPath.Text());
    } else if (const std::size_t h3 = l.find("<H3"); h3 != std::string_view::npos) {
      std::string_view name;
      const std::size_t gt = l.find('>', h3);
      if (gt != std::string_view::npos) {
        const std::size_t lt = l.find('<', gt + 1);
        if (lt != std::string_view::npos)
          name = l.substr(gt + 1, lt - gt - 1);
      }
      folderPath.Open(name);
    } else if (l.find("</DL>") != std::string_view::npos) {
      folderPath.Close();
    }
  }
}

// The anchors of the bookmarks.html at location, each with the "\"-joined path of its folders.
// A file that cannot be read raises EFOpenError, one beyond kBookmarksHtmlLimit or whose entries
// would take more than its memory budget EFileTooLarge.
void ReadBookmarkAnchors(const std::string& location, TCacheList& list) {
  CheckStoreSize(location, kBookmarksHtmlLimit, "a bookmark file");
  std::string text;
  if (!winapi::ReadWholeFile(location, text))
    RaiseFileOpenError(location);

  // Upper-cased once for the whole file rather than once per anchor.
  const std::string upper = UpperCaseAscii(text);
  // What the entries will take is counted before any is made.
  std::uint64_t entries = 0;
  std::uint64_t entryCost = 0;
  std::string title, url, identifier;
  TDateTime lastVisit = 0, added = 0;
  ForEachBookmarkAnchor(
      text, upper,
      [&](std::string_view l, std::string_view upperLine, const std::string& folderPath) {
        identifier.clear();
        ParseBookmarkLine(l, upperLine, title, url, lastVisit, added, identifier);
        ++entries;
        entryCost += kListedEntryCost + StringHeapCost(folderPath.size()) +
                     StringHeapCost(title.size()) + StringHeapCost(url.size()) +
                     StringHeapCost(identifier.size()) + StringHeapCost(l.size());
      });
  CheckStoreMemory(location, text.size(), text.size() + upper.size() + entryCost, entries,
                   "bookmarks");

  ForEachBookmarkAnchor(
      text, upper,
      [&](std::string_view l, std::string_view upperLine, const std::string& folderPath) {
        TCacheItem& item = list.Add();
        std::string id;
        ParseBookmarkLine(l, upperLine, item.Name, item.Host, item.LastAccess, item.Expires, id);
        item.Path = folderPath;
        item.Content = std::move(id);
        item.Plaintext = std::string(l);
      });
}

} // namespace

TActionOutcome ReadBookmarksHtml(TBrowserProfile& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctBookmarks);
  TCacheList& list = profile.GetList(ctBookmarks);
  list.Clear();
  const std::string& location = profile.GetLocation(ctBookmarks);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  try {
    ReadBookmarkAnchors(location, list);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, ctBookmarks, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
  }
  return outcome;
}

TActionOutcome ReadPrefsPages(TBrowserProfile& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctPages);
  const std::string& location = profile.GetLocation(ctPages);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  TMozillaPrefsList prefs;
  try {
    prefs.LoadFromFile(location);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, ctPages, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
    return outcome;
  }
  TCacheList& list = profile.GetList(ctPages);
  for (const std::string_view name : kPagePreferences) {
    TCacheItem& item = list.Add();
    item.Name = std::string(name);
    item.Content = prefs.ReadString(name);
  }
  return outcome;
}

TActionOutcome ReadMorkHistory(TBrowserProfile& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctHistory);
  TCacheList& list = profile.GetList(ctHistory);
  list.Clear();
  const std::string& location = profile.GetLocation(ctHistory);
  if (location.empty() || !winapi::FileExists(location))
    return outcome;
  try {
    TMorkFile mork;
    mork.KeepRawList = false;
    mork.KeepBuffer = false;
    mork.LoadFromFile(location);
    constexpr std::array<std::string_view, 4> kColumns = {"URL", "Hostname", "LastVisitDate",
                                                          "FirstVisitDate"};
    // What the entries will take is counted before any is made: rows can repeat one long value
    // that each entry would copy.
    std::uint64_t entryCost = 0;
    std::array<std::size_t, 2> sizes{};
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      mork.CellSizes(row, std::span(kColumns).first(2), sizes);
      const std::string_view entry = mork.TableList()[row];
      entryCost += kListedEntryCost + StringHeapCost(std::min(entry.find('='), entry.size())) +
                   StringHeapCost(sizes[0]) + StringHeapCost(sizes[1]);
    }
    CheckStoreMemory(location, mork.FileSize(), mork.HeldBytes() + entryCost, mork.RowCount(),
                     "rows");
    std::array<std::string, kColumns.size()> values;
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      mork.CellValues(row, kColumns, values);
      TCacheItem& item = list.Add();
      item.Name = mork.RowId(row);
      item.Path = std::move(values[0]);
      item.Host = std::move(values[1]);
      item.LastAccess = MorkTimeTextToDateTime(values[2]);
      item.Expires = MorkTimeTextToDateTime(values[3]);
    }
  } catch (const std::exception& e) {
    // The rows read so far stay.
    outcome.Fail(TStoreAccess::Read, ctHistory, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
  }
  return outcome;
}

// --- Netscape ---

TActionOutcome TBrowserHelperNetscape::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  TActionOutcome outcome = RefreshCookies(profile);
  outcome.Merge(RefreshPages(profile));
  outcome.Merge(RefreshBookmarks(profile));
  outcome.Merge(RefreshHistory(profile));
  outcome.Merge(RefreshCache(profile));
  return outcome;
}

// Netscape 4.x keeps its history in a format no reader here takes apart.
TActionOutcome TBrowserHelperNetscape::RefreshHistory(TBrowserProfile&) {
  return {};
}

TActionOutcome TBrowserHelperNetscape::RefreshPages(TBrowserProfile& profile) {
  return ReadPrefsPages(profile);
}

TActionOutcome TBrowserHelperNetscape::RefreshBookmarks(TBrowserProfile& profile) {
  return ReadBookmarksHtml(profile);
}

TActionOutcome TBrowserHelperNetscape::RefreshCookies(TBrowserProfile& profile) {
  return ReadCookiesTxt(profile);
}

// The cache is purged as a folder but never listed.
TActionOutcome TBrowserHelperNetscape::RefreshCache(TBrowserProfile&) {
  return {};
}

TActionOutcome TBrowserHelperNetscape::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                             const TOnValidateCacheEntry& validate) {
  TActionOutcome outcome;
  if (KindsContain(kinds, ctCookies))
    outcome.Merge(CleanCookiesTxt(profile, validate));
  if (KindsContain(kinds, ctPages))
    outcome.Merge(CleanPrefsPages(profile, validate));
  if (KindsContain(kinds, ctBookmarks))
    outcome.Merge(CleanBookmarksHtml(profile, validate));
  return outcome;
}

TActionOutcome TBrowserHelperNetscape::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  TActionOutcome outcome;
  if (KindsContain(kinds, ctCache))
    outcome.Merge(PurgeFolder(profile, ctCache));
  if (KindsContain(kinds, ctCookies))
    outcome.Merge(PurgeFile(profile, ctCookies));
  if (KindsContain(kinds, ctHistory))
    outcome.Merge(PurgeFile(profile, ctHistory));
  if (KindsContain(kinds, ctPages))
    outcome.Merge(ResetPrefsPages(profile));
  if (KindsContain(kinds, ctBookmarks))
    outcome.Merge(PurgeFile(profile, ctBookmarks));
  return outcome;
}

// --- Mozilla ---

TActionOutcome TBrowserHelperMozilla::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  TActionOutcome outcome;
  if (profile.VersionTag == kSQLiteGeneration) {
    outcome.Merge(ReadSQLiteStore<TFirefox3Cookies>(profile, ctCookies));
    outcome.Merge(ReadSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks));
  } else {
    outcome.Merge(RefreshCookies(profile));
    outcome.Merge(RefreshBookmarks(profile));
  }
  outcome.Merge(RefreshPages(profile));
  outcome.Merge(RefreshHistory(profile));
  return outcome;
}

TActionOutcome TBrowserHelperMozilla::RefreshHistory(TBrowserProfile& profile) {
  return ReadMorkHistory(profile);
}

TActionOutcome TBrowserHelperMozilla::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                            const TOnValidateCacheEntry& validate) {
  const bool sqlite = profile.VersionTag == kSQLiteGeneration;
  TActionOutcome outcome;
  if (KindsContain(kinds, ctPages))
    outcome.Merge(CleanPrefsPages(profile, validate));
  if (KindsContain(kinds, ctCookies)) {
    if (sqlite)
      outcome.Merge(CleanSQLiteStore<TFirefox3Cookies>(profile, ctCookies, validate, false));
    else
      outcome.Merge(CleanCookiesTxt(profile, validate));
  }
  if (KindsContain(kinds, ctBookmarks)) {
    if (sqlite)
      outcome.Merge(CleanSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks, validate, true));
    else
      outcome.Merge(CleanBookmarksHtml(profile, validate));
  }
  return outcome;
}

TActionOutcome TBrowserHelperMozilla::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  TActionOutcome outcome;
  if (KindsContain(kinds, ctCache))
    outcome.Merge(PurgeFolder(profile, ctCache));
  if (KindsContain(kinds, ctHistory))
    outcome.Merge(PurgeFile(profile, ctHistory));
  if (KindsContain(kinds, ctPages))
    outcome.Merge(ResetPrefsPages(profile));
  if (KindsContain(kinds, ctCookies))
    outcome.Merge(PurgeFile(profile, ctCookies));
  if (KindsContain(kinds, ctBookmarks)) {
    // places.sqlite holds the history too; only its bookmarks go.
    if (profile.VersionTag == kSQLiteGeneration)
      outcome.Merge(PurgeSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks));
    else
      outcome.Merge(PurgeFile(profile, ctBookmarks));
  }
  return outcome;
}

} // namespace quillon
