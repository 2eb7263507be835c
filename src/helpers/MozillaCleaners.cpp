#include "helpers/MozillaCleaners.h"

#include "formats/BookmarksHtml.h"
#include "formats/CookiesTxt.h"
#include "formats/MozillaPrefs.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "helpers/StoreOperations.h"
#include "winapi/WinApi.h"

#include <exception>
#include <utility>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view kBackupSuffix = ".vext.bak";

} // namespace

TActionOutcome CleanPrefsPages(TProfileStores& profile, const TCleanRule& rule) {
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
      TCleanDecision decision = AskRule(rule, ctPages, &item, "about:blank", true);
      if (decision.Remove) {
        // A preference that holds the value already needs no write; a file that needs none is
        // left alone, so a read-only one does not stop a clean of everything else.
        if (!prefs.Contains(item.Name) || prefs.ReadString(item.Name) != decision.Content) {
          prefs.WriteString(item.Name, decision.Content);
          changed = true;
        }
        accepted.emplace_back(&item, std::move(decision.Content));
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

TActionOutcome ResetPrefsPages(TProfileStores& profile) {
  return CleanPrefsPages(profile, {});
}

TActionOutcome CleanCookiesTxt(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctCookies);
  if (!rule)
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
    if (rule(ctCookies, &item, item.Host + item.Path).Remove)
      accepted.push_back(i);
  }
  if (accepted.empty())
    return outcome;
  // Each accepted entry takes one line of its text; two equal lines are two entries.
  TLineCounts toRemove;
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
  const TCookiesTxtRewrite rewrite = RewriteCookiesTxt(original, toRemove);
  // The entries were read from another state of the file: nothing of it to remove.
  if (rewrite.Removed > 0 && !ReplaceStoreFile(location, rewrite.Content)) {
    outcome.Fail(TStoreAccess::Change, ctCookies, location,
                 FileErrorReason(location, TFileStep::Write, winapi::GetLastError()));
    return outcome;
  }
  for (const int i : accepted)
    list.Delete(i);
  return outcome;
}

TActionOutcome CleanBookmarksHtml(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctBookmarks);
  if (!rule)
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
    if (rule(ctBookmarks, &item, item.Path + "\\" + item.Name).Remove) {
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

  const std::string content = RewriteBookmarksHtml(original, list);
  if (!ReplaceStoreFile(location, content))
    return fail(FileErrorReason(location, TFileStep::Write, winapi::GetLastError()));
  return outcome;
}

} // namespace quillon
