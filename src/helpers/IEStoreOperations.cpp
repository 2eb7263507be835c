#include "helpers/IEStoreOperations.h"

#include "helpers/StoreOperations.h"
#include "model/DateUtils.h"
#include "platform/Registry.h"
#include "platform/UrlCacheWalk.h"
#include "winapi/CaseFold.h"
#include "winapi/WinApi.h"

#include <array>
#include <exception>
#include <string_view>
#include <unordered_map>

namespace quillon {

namespace {

const std::string kUrlCacheStore = "the URL cache";

enum class TUrlCacheMode : std::uint8_t { List, Clean, Purge };

// The failures of one kind's entries, told as one reason: how many, and the first. A cache of
// many thousand entries that refuses every deletion gives one line, not thousands.
class TEntryFailures {
public:
  void Add(std::string reason) {
    if (count_++ == 0)
      first_ = std::move(reason);
  }
  void Report(TActionOutcome& outcome, TCacheType kind, const std::string& store) const {
    if (count_ == 0)
      return;
    outcome.Fail(TStoreAccess::Change, kind, store,
                 count_ == 1 ? first_
                             : std::to_string(count_) +
                                   " entries could not be removed, the first: " + first_);
  }

private:
  std::size_t count_ = 0;
  std::string first_;
};

// Whether path names something below folder: the folder's text (without regard to case) and
// then names that climb nowhere. File names in the URL cache come from index.dat, which an image
// may have forged.
bool LiesBelow(std::string_view path, std::string folder) {
  if (folder.empty())
    return false;
  if (folder.back() != '\\')
    folder += '\\';
  if (path.size() <= folder.size() || !winapi::SameName(path.substr(0, folder.size()), folder))
    return false;
  std::string_view rest = path.substr(folder.size());
  if (rest.find_first_of("/:") != std::string_view::npos)
    return false;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    const std::string_view part = rest.substr(0, slash);
    if (part.empty() || part == "." || part == "..")
      return false;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  return true;
}

bool LiesInUrlCacheFolders(const TProfileStores& profile, std::string_view file) {
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory})
    if (LiesBelow(file, profile.GetLocation(kind)))
      return true;
  return false;
}

bool FileIsGone(winapi::DWORD error) {
  return error == winapi::ERROR_FILE_NOT_FOUND || error == winapi::ERROR_PATH_NOT_FOUND;
}

// Unlocks the entry's file (a file nobody holds needs no unlock, so a failure is no matter),
// deletes its local file when withFile and the cache named one, then removes the entry.
void RemoveUrlCacheEntry(const TProfileStores& profile, const winapi::INTERNET_CACHE_ENTRY_INFOA& e,
                         const std::string& url, bool withFile, TEntryFailures& failures) {
  winapi::UnlockUrlCacheEntryFile(url, 0);
  if (withFile && e.lpszLocalFileName != nullptr && *e.lpszLocalFileName != '\0') {
    const std::string file = e.lpszLocalFileName;
    if (!LiesInUrlCacheFolders(profile, file)) {
      failures.Add("the file " + file + " of " + url +
                   " lies outside the cache folders and was left in place");
    } else if (!winapi::DeleteFile(file)) {
      const winapi::DWORD error = winapi::GetLastError();
      if (!FileIsGone(error))
        failures.Add(FileErrorReason(file, TFileStep::Delete, error));
    }
  }
  if (!winapi::DeleteUrlCacheEntry(url))
    failures.Add(url + " could not be removed from the URL cache (" +
                 winapi::FormatMessage(winapi::GetLastError()) + ")");
}

TActionOutcome ProcessUrlCache(TProfileStores& profile, TCacheKinds kinds, TUrlCacheMode mode,
                               const TCleanRule& rule) {
  kinds = kinds & kUrlCacheKinds;
  const TStoreAccess access =
      mode == TUrlCacheMode::List ? TStoreAccess::Read : TStoreAccess::Change;
  TActionOutcome outcome;
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory})
    if (kinds.Contains(kind))
      outcome.Ask(access, kind);
  if (kinds.Empty() || (mode == TUrlCacheMode::Clean && !rule))
    return outcome;

  // The rule is shown the list entry of the same URL; one index per kind instead of a search of
  // the list per cache entry. The first of equal paths wins, as a search would find it.
  std::array<std::unordered_map<std::string_view, TCacheItem*>, kCacheTypeCount> byPath;
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory}) {
    if (!kinds.Contains(kind))
      continue;
    TCacheList& list = profile.GetList(kind);
    if (mode == TUrlCacheMode::Clean) {
      byPath[kind].reserve(static_cast<std::size_t>(list.Count()));
      for (int i = 0; i < list.Count(); ++i)
        byPath[kind].try_emplace(list[i].Path.view(), &list[i]);
    } else {
      list.Clear();
    }
  }

  std::array<TEntryFailures, kCacheTypeCount> failures;
  const winapi::DWORD end = WalkUrlCache("", [&](const winapi::INTERNET_CACHE_ENTRY_INFOA& e) {
    const TCacheType kind = UrlCacheKind(e.CacheEntryType);
    if (!kinds.Contains(kind))
      return true;
    const std::string url = e.lpszSourceUrlName != nullptr ? e.lpszSourceUrlName : "";
    switch (mode) {
    case TUrlCacheMode::List: {
      TCacheItem& item = profile.GetList(kind).Add();
      item.Path = url;
      item.Expires = FileTimeToDateTime(e.ExpireTime);
      item.LastAccess = FileTimeToDateTime(e.LastAccessTime);
      if (e.lpszLocalFileName != nullptr)
        item.CacheFile = e.lpszLocalFileName;
      break;
    }
    case TUrlCacheMode::Clean: {
      const auto found = byPath[kind].find(url);
      TCacheItem* item = found == byPath[kind].end() ? nullptr : found->second;
      if (AskRule(rule, kind, item, url, false).Remove)
        RemoveUrlCacheEntry(profile, e, url, true, failures[kind]);
      break;
    }
    case TUrlCacheMode::Purge:
      RemoveUrlCacheEntry(profile, e, url, false, failures[kind]);
      break;
    }
    return true;
  });

  for (const TCacheType kind : {ctCache, ctCookies, ctHistory}) {
    if (!kinds.Contains(kind))
      continue;
    failures[kind].Report(outcome, kind, kUrlCacheStore);
    if (end != winapi::ERROR_SUCCESS)
      outcome.Fail(access, kind, kUrlCacheStore,
                   FileErrorReason(kUrlCacheStore,
                                   mode == TUrlCacheMode::List ? TFileStep::Read : TFileStep::Write,
                                   end));
  }
  return outcome;
}

} // namespace

TCacheType UrlCacheKind(std::uint32_t cacheEntryType) {
  if ((cacheEntryType & winapi::COOKIE_CACHE_ENTRY) != 0)
    return ctCookies;
  if ((cacheEntryType & winapi::URLHISTORY_CACHE_ENTRY) != 0)
    return ctHistory;
  return ctCache;
}

TActionOutcome ListUrlCache(TProfileStores& profile, TCacheKinds kinds) {
  return ProcessUrlCache(profile, kinds, TUrlCacheMode::List, {});
}

TActionOutcome CleanUrlCache(TProfileStores& profile, TCacheKinds kinds, const TCleanRule& rule) {
  return ProcessUrlCache(profile, kinds, TUrlCacheMode::Clean, rule);
}

TActionOutcome PurgeUrlCache(TProfileStores& profile, TCacheKinds kinds) {
  return ProcessUrlCache(profile, kinds, TUrlCacheMode::Purge, {});
}

// --- Start pages ---

TActionOutcome CleanRegistryPages(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctPages);
  TCacheList& pages = profile.GetList(ctPages);
  for (int i = 0; i < pages.Count(); ++i) {
    TCacheItem& page = pages[i];
    const TCleanDecision decision = AskRule(rule, ctPages, &page, "about:blank", true);
    if (!decision.Remove)
      continue;
    // Plaintext is the location as the list file names it, the clearest name for the user.
    const std::string store =
        page.Plaintext.empty() ? page.Path + page.Name : std::string(page.Plaintext);
    const auto root = static_cast<winapi::HKEY>(static_cast<std::uint32_t>(page.Tag));
    try {
      // A 32-bit program writes through view 32 whatever view the value was read through.
      if (RegWriteString(root, page.Path, page.Name, 32, decision.Content))
        page.Content = decision.Content;
      else
        outcome.Fail(TStoreAccess::Change, ctPages, store,
                     store + " could not be changed (its key cannot be opened or created)");
    } catch (const std::exception& e) {
      outcome.Fail(TStoreAccess::Change, ctPages, store,
                   ExceptionReason(store, TFileStep::Write, e.what()));
    }
  }
  return outcome;
}

TActionOutcome ResetRegistryPages(TProfileStores& profile) {
  return CleanRegistryPages(profile, {});
}

// --- Favourites ---

TActionOutcome CleanFavorites(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctBookmarks);
  // A location with or without its trailing "\" names the same folder; Path begins with "\".
  std::string location = profile.GetLocation(ctBookmarks);
  if (!location.empty() && location.back() == '\\')
    location.pop_back();
  if (location.empty())
    return outcome;
  TCacheList& favorites = profile.GetList(ctBookmarks);
  TEntryFailures failures;
  for (int i = favorites.Count() - 1; i >= 0; --i) {
    TCacheItem& favorite = favorites[i];
    if (!AskRule(rule, ctBookmarks, &favorite, favorite.Host, true).Remove)
      continue;
    const std::string file = location + favorite.Path + "\\" + favorite.Name + ".url";
    // Path and Name come from the folder's own listing; one that climbs out is not ours.
    if (!LiesBelow(file, location))
      continue;
    if (!winapi::FileExists(file))
      continue;
    if (winapi::DeleteFile(file))
      favorites.Delete(i);
    else
      failures.Add(FileErrorReason(file, TFileStep::Delete, winapi::GetLastError()));
  }
  failures.Report(outcome, ctBookmarks, location);
  return outcome;
}

TActionOutcome PurgeFavorites(TProfileStores& profile) {
  return CleanFavorites(profile, {});
}

} // namespace quillon
