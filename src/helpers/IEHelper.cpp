// The two Internet Explorer helpers: the running user's cache, cookies and history from the URL
// cache, and every user's start pages (registry values named by the list file) and favourites
// (".url" shortcut files).

#include "helpers/BrowserHelper.h"

#include "formats/IniFile.h"
#include "helpers/IEStoreOperations.h"
#include "model/DateUtils.h"
#include "platform/Accounts.h"
#include "platform/Registry.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace quillon {

namespace {

// --- Start pages ---

void AddRegistryPage(TCacheList& pages, winapi::HKEY root, const std::string& keyPath,
                     const std::string& valueName, int view, const std::string& location) {
  std::string text;
  if (!RegReadString(root, keyPath, valueName, view, text) || text.empty())
    return;
  TCacheItem& page = pages.Add();
  page.Content = text;
  page.Name = valueName;
  page.Path = keyPath;
  page.Tag = static_cast<std::int32_t>(static_cast<std::uint32_t>(root));
  page.AccessBits = static_cast<std::uint8_t>(view);
  page.Plaintext = location;
}

TActionOutcome ReadStartPages(TProfileStores& profile, const THelperContext& context) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctPages);
  TCacheList& pages = profile.GetList(ctPages);
  pages.Clear();
  for (const std::string& line : context.IEPageLocations) {
    // The first two characters of a line are not part of the location.
    const std::string location = line.size() > 2 ? line.substr(2) : std::string();
    winapi::HKEY root = 0;
    std::string keyPath, valueName;
    SplitRegistryPath(location, root, keyPath, valueName);
    try {
      if (root == winapi::HKEY_CURRENT_USER && !profile.ProfileLocation.empty()) {
        // Another user's HKEY_CURRENT_USER is that user's hive below HKEY_USERS.
        AddRegistryPage(pages, winapi::HKEY_USERS, profile.ProfileLocation + "\\" + keyPath,
                        valueName, 32, location);
      } else {
        // On a 64-bit system a value may live in either view; both are shown.
        AddRegistryPage(pages, root, keyPath, valueName, 32, location);
        AddRegistryPage(pages, root, keyPath, valueName, 64, location);
      }
    } catch (const std::exception& e) {
      outcome.Fail(TStoreAccess::Read, ctPages, location,
                   location + " cannot be read (" + e.what() + ")");
    }
  }
  return outcome;
}

// --- Favourites ---

// Favourites come from an image: a folder tree deeper than this is not read further.
constexpr int kMaxFavoritesDepth = 32;

struct TFoundEntry {
  std::string Name;
  winapi::WIN32_FIND_DATA Data;
  std::string SortKey;
};

// The entries of one folder level that match mask, files or folders, sorted by name as the
// system orders text without regard to case. "." and ".." are left out.
std::vector<TFoundEntry> ListSorted(const std::string& mask, bool folders) {
  std::vector<TFoundEntry> found;
  winapi::WIN32_FIND_DATA data;
  const winapi::TFindHandle find(winapi::FindFirstFile(mask, data));
  if (!find.Valid())
    return found;
  do {
    const bool isFolder = (data.dwFileAttributes & winapi::FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder != folders || data.cFileName == "." || data.cFileName == "..")
      continue;
    TFoundEntry entry{data.cFileName, data, {}};
    winapi::LCMapString(winapi::LOCALE_USER_DEFAULT,
                        winapi::LCMAP_SORTKEY | winapi::NORM_IGNORECASE, entry.Name, entry.SortKey);
    found.push_back(std::move(entry));
  } while (winapi::FindNextFile(find.Get(), data));
  std::stable_sort(found.begin(), found.end(), [](const TFoundEntry& a, const TFoundEntry& b) {
    return a.SortKey < b.SortKey;
  });
  return found;
}

// Appends the shortcuts of base + subfolder (which starts and ends with "\"), sorted by name,
// then those of its subfolders, depth first. Hidden and system folders count; a folder that is
// a link is not entered, so the walk stays inside the favourites folder and cannot go round.
void ScanFavorites(const std::string& base, const std::string& subfolder, int depth,
                   TCacheList& favorites, TActionOutcome& outcome) {
  const std::string folder = base + subfolder;
  for (const TFoundEntry& file : ListSorted(folder + "*.url", false)) {
    TCacheItem& favorite = favorites.Add();
    favorite.Name = file.Name.substr(0, file.Name.size() >= 4 ? file.Name.size() - 4 : 0);
    favorite.Path = subfolder.substr(0, subfolder.size() - 1);
    favorite.Expires = FileTimeToDateTime(file.Data.ftCreationTime);
    favorite.LastAccess = FileTimeToDateTime(file.Data.ftLastAccessTime);
    const std::string path = folder + file.Name;
    try {
      favorite.Host = TIniFile(path).ReadString("InternetShortcut", "URL", "");
    } catch (const std::exception& e) {
      outcome.Fail(TStoreAccess::Read, ctBookmarks, path,
                   path + " cannot be read (" + e.what() + ")");
    }
  }
  for (const TFoundEntry& sub : ListSorted(folder + "*.*", true)) {
    if ((sub.Data.dwFileAttributes & winapi::FILE_ATTRIBUTE_REPARSE_POINT) != 0)
      continue;
    if (depth >= kMaxFavoritesDepth) {
      outcome.Fail(TStoreAccess::Read, ctBookmarks, folder,
                   "the favourites below " + folder + " lie more than " +
                       std::to_string(kMaxFavoritesDepth) + " folders deep and were not read");
      return;
    }
    ScanFavorites(base, subfolder + sub.Name + "\\", depth + 1, favorites, outcome);
  }
}

TActionOutcome ReadFavorites(TProfileStores& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctBookmarks);
  TCacheList& favorites = profile.GetList(ctBookmarks);
  favorites.Clear();
  std::string base = profile.GetLocation(ctBookmarks);
  if (base.empty())
    return outcome;
  if (base.back() == '\\')
    base.pop_back();
  ScanFavorites(base, "\\", 0, favorites, outcome);
  return outcome;
}

// One walk over the URL cache for all the URL-cache kinds of kinds.
TActionOutcome UrlCacheOperation(THelperOperation operation, TProfileStores& profile,
                                 const THelperContext& context, TCacheKinds kinds) {
  kinds = kinds & kUrlCacheKinds;
  if (kinds.Empty())
    return {};
  switch (operation) {
  case THelperOperation::Read:
    return ListUrlCache(profile, kinds);
  case THelperOperation::Clean:
    return CleanUrlCache(profile, kinds, context.Rule);
  case THelperOperation::Purge:
    break;
  }
  return PurgeUrlCache(profile, kinds);
}

} // namespace

// --- TBrowserHelperIEPages ---

TActionOutcome TBrowserHelperIEPages::ReadKind(TProfileStores& profile,
                                               const THelperContext& context, TCacheType kind) {
  if (kind == ctPages)
    return ReadStartPages(profile, context);
  if (kind == ctBookmarks)
    return ReadFavorites(profile);
  return {};
}

TActionOutcome TBrowserHelperIEPages::CleanKind(TProfileStores& profile,
                                                const THelperContext& context, TCacheType kind) {
  if (kind == ctPages)
    return CleanRegistryPages(profile, context.Rule);
  if (kind == ctBookmarks)
    return CleanFavorites(profile, context.Rule);
  return {};
}

TActionOutcome TBrowserHelperIEPages::PurgeKind(TProfileStores& profile, const THelperContext&,
                                                TCacheType kind) {
  if (kind == ctPages)
    return ResetRegistryPages(profile);
  if (kind == ctBookmarks)
    return PurgeFavorites(profile);
  return {};
}

// --- TBrowserHelperIECurrent ---

TActionOutcome TBrowserHelperIECurrent::ForKinds(THelperOperation operation,
                                                 TProfileStores& profile,
                                                 const THelperContext& context, TCacheKinds kinds) {
  // The URL cache is the running user's; a profile of another user never reaches it.
  TActionOutcome outcome;
  if (profile.ProfileLocation.empty())
    outcome = UrlCacheOperation(operation, profile, context, kinds);
  outcome.Merge(
      TBrowserHelperCustom::ForKinds(operation, profile, context, kinds - kUrlCacheKinds));
  return outcome;
}

// --- TBrowserHelperIERegistry ---

TActionOutcome TBrowserHelperIERegistry::ForKinds(THelperOperation operation,
                                                  TProfileStores& profile,
                                                  const THelperContext& context,
                                                  TCacheKinds kinds) {
  // The profile named exactly as the running user (letter case counts) is that user's own and
  // shows the URL cache; cleaning and purging it is the other helper's.
  TActionOutcome outcome;
  if (operation == THelperOperation::Read && profile.ProfileLocation.empty() &&
      context.ProfileName == GetCurrentUserName())
    outcome = UrlCacheOperation(operation, profile, context, kinds);
  outcome.Merge(
      TBrowserHelperCustom::ForKinds(operation, profile, context, kinds - kUrlCacheKinds));
  return outcome;
}

} // namespace quillon
