// The Netscape 4.x and Mozilla-family helpers: readers of cookies.txt, bookmarks.html, prefs.js,
// the Mork history and the Firefox 3 SQLite stores, and the cleans and purges built on them.

#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "formats/FFMorkSimple.h"
#include "formats/FileErrors.h"
#include "formats/MozillaPrefs.h"
#include "formats/TextLines.h"
#include "helpers/MozillaCleaners.h"
#include "helpers/MozillaHelperRead.h"
#include "helpers/SQLiteStoreOperations.h"
#include "helpers/StoreOperations.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <array>
#include <exception>
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

char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool LessIgnoringCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(FoldCase(a[i]));
    const auto cb = static_cast<unsigned char>(FoldCase(b[i]));
    if (ca != cb)
      return ca < cb;
  }
  return a.size() < b.size();
}

} // namespace

std::vector<std::string> SplitCookieFields(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t pos = 0;
  while (true) {
    while (pos < line.size() && IsFieldSeparator(line[pos]))
      ++pos;
    if (pos >= line.size())
      break;
    std::string field;
    if (line[pos] == '"') {
      ++pos;
      while (pos < line.size()) {
        if (line[pos] == '"') {
          if (pos + 1 < line.size() && line[pos + 1] == '"') {
            field += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        field += line[pos++];
      }
    } else {
      const std::size_t start = pos;
      while (pos < line.size() && !IsFieldSeparator(line[pos]))
        ++pos;
      field.assign(line.substr(start, pos - start));
    }
    fields.push_back(std::move(field));
  }
  return fields;
}

void ReadCookiesTxt(TBrowserProfile& profile) {
  const std::string& location = profile.GetLocation(ctCookies);
  if (location.empty() || !winapi::FileExists(location))
    return;
  TCacheList& list = profile.GetList(ctCookies);
  try {
    std::string text;
    if (!winapi::ReadWholeFile(location, text))
      return;
    std::vector<std::string_view> lines;
    TTextLineReader reader(text);
    TTextLine line;
    while (reader.Next(line))
      lines.push_back(line.Text);
    std::stable_sort(lines.begin(), lines.end(), LessIgnoringCase);

    constexpr std::size_t kCookieFields = 7;
    for (const std::string_view l : lines) {
      if (l.empty() || l.front() == '#')
        continue;
      std::vector<std::string> fields = SplitCookieFields(l);
      if (fields.size() != kCookieFields)
        continue;
      TCacheItem& item = list.Add();
      item.CacheFile = location;
      item.Host = std::move(fields[0]);
      item.Path = std::move(fields[2]);
      TryUnixTimeTextToDateTime(fields[4], item.Expires);
      item.Name = std::move(fields[5]);
      item.Content = std::move(fields[6]);
      item.Plaintext = std::string(l);
    }
  } catch (const std::exception&) {
    // The entries read so far stay.
  }
}

void ReadBookmarksHtml(TBrowserProfile& profile) {
  TCacheList& list = profile.GetList(ctBookmarks);
  list.Clear();
  const std::string& location = profile.GetLocation(ctBookmarks);
  if (location.empty() || !winapi::FileExists(location))
    return;
  std::string text;
  if (!winapi::ReadWholeFile(location, text))
    RaiseFileOpenError(location);

  std::string folderPath;
  TTextLineReader reader(text);
  TTextLine line;
  while (reader.Next(line)) {
    const std::string_view l = line.Text;
    if (l.find("<A HREF=") != std::string_view::npos) {
      TCacheItem& item = list.Add();
      std::string identifier;
      ParseBookmarkLine(l, item.Name, item.Host, item.LastAccess, item.Expires, identifier);
      item.Path = folderPath;
      item.Content = std::move(identifier);
      item.Plaintext = std::string(l);
    } else if (const std::size_t h3 = l.find("<H3"); h3 != std::string_view::npos) {
      std::string_view name;
      const std::size_t gt = l.find('>', h3);
      if (gt != std::string_view::npos) {
        const std::size_t lt = l.find('<', gt + 1);
        if (lt != std::string_view::npos)
          name = l.substr(gt + 1, lt - gt - 1);
      }
      folderPath = folderPath.empty() ? std::string(name) : folderPath + "\\" + std::string(name);
    } else if (l.find("</DL>") != std::string_view::npos) {
      const std::size_t slash = folderPath.rfind('\\');
      folderPath.erase(slash == std::string::npos ? 0 : slash);
    }
  }
}

void ReadPrefsPages(TBrowserProfile& profile) {
  const std::string& location = profile.GetLocation(ctPages);
  if (location.empty() || !winapi::FileExists(location))
    return;
  TMozillaPrefsList prefs;
  prefs.LoadFromFile(location);
  TCacheList& list = profile.GetList(ctPages);
  for (const std::string_view name : kPagePreferences) {
    TCacheItem& item = list.Add();
    item.Name = std::string(name);
    item.Content = prefs.ReadString(name);
  }
}

void ReadMorkHistory(TBrowserProfile& profile) {
  TCacheList& list = profile.GetList(ctHistory);
  list.Clear();
  const std::string& location = profile.GetLocation(ctHistory);
  if (location.empty() || !winapi::FileExists(location))
    return;
  try {
    TMorkFile mork;
    mork.LoadFromFile(location);
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      TCacheItem& item = list.Add();
      item.Name = mork.RowId(row);
      item.Path = mork.CellValue("URL", row);
      item.Host = mork.CellValue("Hostname", row);
      item.LastAccess = UnixTimeTextToDateTime(mork.CellValue("LastVisitDate", row));
      item.Expires = UnixTimeTextToDateTime(mork.CellValue("FirstVisitDate", row));
    }
  } catch (const std::exception&) {
    // The rows read so far stay.
  }
}

// --- Netscape ---

void TBrowserHelperNetscape::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  RefreshCookies(profile);
  RefreshPages(profile);
  RefreshBookmarks(profile);
  RefreshHistory(profile);
  RefreshCache(profile);
}

// Netscape 4.x keeps its history in a format no reader here takes apart.
void TBrowserHelperNetscape::RefreshHistory(TBrowserProfile&) {}

void TBrowserHelperNetscape::RefreshPages(TBrowserProfile& profile) {
  ReadPrefsPages(profile);
}

void TBrowserHelperNetscape::RefreshBookmarks(TBrowserProfile& profile) {
  ReadBookmarksHtml(profile);
}

void TBrowserHelperNetscape::RefreshCookies(TBrowserProfile& profile) {
  ReadCookiesTxt(profile);
}

// The cache is purged as a folder but never listed.
void TBrowserHelperNetscape::RefreshCache(TBrowserProfile&) {}

void TBrowserHelperNetscape::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                   const TOnValidateCacheEntry& validate) {
  if (KindsContain(kinds, ctCookies))
    CleanCookiesTxt(profile, validate);
  if (KindsContain(kinds, ctPages))
    CleanPrefsPages(profile, validate);
  if (KindsContain(kinds, ctBookmarks))
    CleanBookmarksHtml(profile, validate);
}

void TBrowserHelperNetscape::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  if (KindsContain(kinds, ctCache))
    PurgeFolder(profile, ctCache);
  if (KindsContain(kinds, ctCookies))
    PurgeFile(profile, ctCookies);
  if (KindsContain(kinds, ctHistory))
    PurgeFile(profile, ctHistory);
  if (KindsContain(kinds, ctPages))
    ResetPrefsPages(profile);
  if (KindsContain(kinds, ctBookmarks))
    PurgeFile(profile, ctBookmarks);
}

// --- Mozilla ---

void TBrowserHelperMozilla::RefreshAll(TBrowserProfile& profile) {
  ClearProfileLists(profile);
  if (profile.VersionTag == kSQLiteGeneration) {
    ReadSQLiteStore<TFirefox3Cookies>(profile, ctCookies);
    ReadSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks);
  } else {
    RefreshCookies(profile);
    RefreshBookmarks(profile);
  }
  RefreshPages(profile);
  RefreshHistory(profile);
}

void TBrowserHelperMozilla::RefreshHistory(TBrowserProfile& profile) {
  ReadMorkHistory(profile);
}

void TBrowserHelperMozilla::Clean(TBrowserProfile& profile, TCacheKinds kinds,
                                  const TOnValidateCacheEntry& validate) {
  const bool sqlite = profile.VersionTag == kSQLiteGeneration;
  if (KindsContain(kinds, ctPages))
    CleanPrefsPages(profile, validate);
  if (KindsContain(kinds, ctCookies)) {
    if (sqlite)
      CleanSQLiteStore<TFirefox3Cookies>(profile, ctCookies, validate, false);
    else
      CleanCookiesTxt(profile, validate);
  }
  if (KindsContain(kinds, ctBookmarks)) {
    if (sqlite)
      CleanSQLiteStore<TFirefox3Bookmarks>(profile, ctBookmarks, validate, true);
    else
      CleanBookmarksHtml(profile, validate);
  }
}

void TBrowserHelperMozilla::Purge(TBrowserProfile& profile, TCacheKinds kinds) {
  if (KindsContain(kinds, ctCache))
    PurgeFolder(profile, ctCache);
  if (KindsContain(kinds, ctHistory))
    PurgeFile(profile, ctHistory);
  if (KindsContain(kinds, ctPages))
    ResetPrefsPages(profile);
  if (KindsContain(kinds, ctCookies))
    PurgeFile(profile, ctCookies);
  if (KindsContain(kinds, ctBookmarks))
    PurgeFile(profile, ctBookmarks);
}

} // namespace quillon
