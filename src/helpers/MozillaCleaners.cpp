#include "helpers/MozillaCleaners.h"

#include "discovery/BrowserManager.h"
#include "formats/FileErrors.h"
#include "formats/MozillaPrefs.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "formats/TextLines.h"
#include "helpers/StoreOperations.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view kCookiesTxtHeader =
    "# HTTP Cookie File\n"
    "# http://www.netscape.com/newsref/std/cookie_spec.html\n"
    "# This is a generated file!  Do not edit.\n"
    "# To delete cookies, use the Cookie Manager.\n"
    "\n";

constexpr std::string_view kBackupSuffix = ".vext.bak";

// The browsers open cookies.txt with a block of "# " comment lines and an empty line; a rewrite
// puts its own block there instead. (#HttpOnly_ cookies start with "#" but are no comment.)
bool IsCookiesTxtHeaderLine(std::string_view line) {
  return line.empty() || line.starts_with("# ");
}

// The text behind marker (found in upper) up to the next double quote of line, or to the end of
// the line when no quote closes it. False when the marker is absent.
bool QuotedAfter(std::string_view line, std::string_view upper, std::string_view marker,
                 std::string_view& text) {
  const std::size_t pos = upper.find(marker);
  if (pos == std::string_view::npos)
    return false;
  const std::size_t start = pos + marker.size();
  const std::size_t end = line.find('"', start);
  text = line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  return true;
}

// (title, address) pairs of the bookmarks still in the list; views into the entries, which
// outlive the set.
struct TPairHash {
  std::size_t operator()(const std::pair<std::string_view, std::string_view>& p) const {
    const std::size_t h = std::hash<std::string_view>()(p.first);
    return h ^
           (std::hash<std::string_view>()(p.second) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2));
  }
};
using TBookmarkSet = std::unordered_set<std::pair<std::string_view, std::string_view>, TPairHash>;

} // namespace

void ParseBookmarkLine(std::string_view line, std::string& title, std::string& url,
                       TDateTime& lastVisit, TDateTime& added, std::string& identifier) {
  ParseBookmarkLine(line, UpperCaseAscii(line), title, url, lastVisit, added, identifier);
}

void ParseBookmarkLine(std::string_view line, std::string_view upper, std::string& title,
                       std::string& url, TDateTime& lastVisit, TDateTime& added,
                       std::string& identifier) {
  std::string_view text;

  added = 0;
  if (QuotedAfter(line, upper, "ADD_DATE=\"", text))
    TryUnixFloatTextToDateTime(text, added);
  lastVisit = 0;
  if (QuotedAfter(line, upper, "LAST_VISIT=\"", text))
    TryUnixFloatTextToDateTime(text, lastVisit);
  if (QuotedAfter(line, upper, "ID=\"", text))
    identifier.assign(text);

  url.clear();
  title.clear();
  constexpr std::string_view kHref = "<A HREF=\"";
  if (!QuotedAfter(line, upper, kHref, text))
    return;
  url.assign(text);
  const std::size_t href = upper.find(kHref);
  const std::size_t gt = line.find('>', href + kHref.size());
  if (gt == std::string_view::npos)
    return;
  const std::size_t end = upper.find("</A>", gt + 1);
  title.assign(
      line.substr(gt + 1, end == std::string::npos ? std::string_view::npos : end - gt - 1));
}

TActionOutcome CleanPrefsPages(TBrowserProfile& profile, const TOnValidateCacheEntry& validate) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctPages);
  const std::string& location = profile.GetLocation(ctPages);
  if (!winapi::FileExists(location))
    return outcome;
  try {
    TMozillaPrefsList prefs;
    prefs.LoadFromFile(location);

    TCacheList& list = profile.GetList(ctPages);
    std::vector<std::pair<TCacheItem*, std::string>> accepted;
    bool changed = false;
    for (int i = 0; i < list.Count(); ++i) {
      TCacheItem& item = list[i];
      std::string newcontent = "about:blank";
      if (AskValidator(validate, profile, ctPages, &item, newcontent, true)) {
        // A preference that holds the value already needs no write; a file that needs none is
        // left alone, so a read-only one does not stop a clean of everything else.
        if (!prefs.Contains(item.Name) || prefs.ReadString(item.Name) != newcontent) {
          prefs.WriteString(item.Name, newcontent);
          changed = true;
        }
        accepted.emplace_back(&item, std::move(newcontent));
      }
    }
    if (changed)
      prefs.SaveToFile(location);
    // The list shows the new values only once the file holds them.
    for (auto& [item, content] : accepted)
      item->Content = std::move(content);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctPages, location,
                 ExceptionReason(location, TFileStep::Write, e.what()));
  }
  return outcome;
}

TActionOutcome ResetPrefsPages(TBrowserProfile& profile) {
  return CleanPrefsPages(profile, {});
}

TActionOutcome CleanCookiesTxt(TBrowserProfile& profile, const TOnValidateCacheEntry& validate) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctCookies);
  if (!validate)
    return outcome;
  const std::string& location = profile.GetLocation(ctCookies);
  if (!winapi::FileExists(location))
    return outcome;

  // The accepted entries' texts say which file lines go; the entries leave the list once the
  // file no longer holds them.
  TCacheList& list = profile.GetList(ctCookies);
  std::vector<int> accepted; // last to first
  for (int i = list.Count() - 1; i >= 0; --i) {
    TCacheItem& item = list[i];
    std::string newcontent = item.Host + item.Path;
    if (AskValidator(validate, profile, ctCookies, &item, newcontent, false))
      accepted.push_back(i);
  }
  if (accepted.empty())
    return outcome;
  // Each accepted entry takes one line of its text; two equal lines are two entries.
  std::unordered_map<std::string_view, std::size_t> toRemove;
  toRemove.reserve(accepted.size());
  for (const int i : accepted)
    ++toRemove[list[i].Plaintext];

  std::string original;
  try {
    CheckStoreSize(location, kCookiesTxtLimit, "a cookie file");
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctCookies, location,
                 ExceptionReason(location, TFileStep::Read, e.what()));
    return outcome;
  }
  if (!winapi::ReadWholeFile(location, original)) {
    outcome.Fail(TStoreAccess::Change, ctCookies, location,
                 FileErrorReason(location, TFileStep::Read, winapi::GetLastError()));
    return outcome;
  }
  // Everything that is not an accepted entry stays, in file order: comments, #HttpOnly_ lines,
  // lines the list never showed. The file's own header block gives way to the header.
  std::string content;
  content.reserve(kCookiesTxtHeader.size() + original.size() + original.size() / 32);
  content += kCookiesTxtHeader;
  TTextLineReader reader(original);
  TTextLine line;
  bool inHeader = true;
  std::size_t taken = 0;
  while (reader.Next(line)) {
    if (inHeader && IsCookiesTxtHeaderLine(line.Text))
      continue;
    inHeader = false;
    if (const auto it = toRemove.find(line.Text); it != toRemove.end() && it->second > 0) {
      --it->second;
      ++taken;
      continue;
    }
    content += line.Text;
    content += '\n';
  }
  // The entries were read from another state of the file: nothing of it to remove.
  if (taken > 0 && !ReplaceStoreFile(location, content)) {
    outcome.Fail(TStoreAccess::Change, ctCookies, location,
                 FileErrorReason(location, TFileStep::Write, winapi::GetLastError()));
    return outcome;
  }
  for (const int i : accepted)
    list.Delete(i);
  return outcome;
}

TActionOutcome CleanBookmarksHtml(TBrowserProfile& profile, const TOnValidateCacheEntry& validate) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctBookmarks);
  if (!validate)
    return outcome;
  const std::string& location = profile.GetLocation(ctBookmarks);
  if (!winapi::FileExists(location))
    return outcome;
  const auto fail = [&](const std::string& reason) {
    outcome.Fail(TStoreAccess::Change, ctBookmarks, location, reason);
    return outcome;
  };

  TCacheList& list = profile.GetList(ctBookmarks);
  bool accepted = false;
  for (int i = list.Count() - 1; i >= 0; --i) {
    TCacheItem& item = list[i];
    std::string newcontent = item.Path + "\\" + item.Name;
    if (AskValidator(validate, profile, ctBookmarks, &item, newcontent, false)) {
      list.Delete(i);
      accepted = true;
    }
  }
  // Nothing to remove: the file stays as it is, line ends included.
  if (!accepted)
    return outcome;

  try {
    CheckStoreSize(location, kBookmarksHtmlLimit, "a bookmark file");
  } catch (const std::exception& e) {
    return fail(ExceptionReason(location, TFileStep::Read, e.what()));
  }
  std::string original;
  if (!winapi::ReadWholeFile(location, original))
    return fail(FileErrorReason(location, TFileStep::Read, winapi::GetLastError()));
  // The backup is a copy: the store itself stays in place until its new content replaces it.
  const std::string backup = location + std::string(kBackupSuffix);
  if (!winapi::CopyFile(location, backup, false))
    return fail(FileErrorReason(backup, TFileStep::Write, winapi::GetLastError()) +
                "; without a backup the bookmarks were left as they were");

  TBookmarkSet remaining;
  remaining.reserve(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i)
    remaining.emplace(list[i].Name, list[i].Host);

  std::string content;
  content.reserve(original.size() + original.size() / 16);
  TTextLineReader reader(original);
  TTextLine line;
  std::string title, url, identifier;
  TDateTime lastVisit = 0, added = 0;
  while (reader.Next(line)) {
    if (line.Text.find("<A HREF") != std::string_view::npos) {
      identifier.clear();
      ParseBookmarkLine(line.Text, title, url, lastVisit, added, identifier);
      if (!remaining.contains({title, url}))
        continue;
    }
    content += line.Text;
    content += "\r\n";
  }
  if (!ReplaceStoreFile(location, content))
    return fail(FileErrorReason(location, TFileStep::Write, winapi::GetLastError()));
  return outcome;
}

} // namespace quillon
