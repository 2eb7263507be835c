// The Opera helper: global.dat, the ini file's start page, the hotlist, cookies4.dat and the cache
// index of a profile folder.

#include "helpers/BrowserHelper.h"

#include "formats/FileErrors.h"
#include "formats/IniFile.h"
#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "formats/OperaHistory.h"
#include "formats/OperaHotlist.h"
#include "formats/StoreLimits.h"
#include "helpers/OperaCleaners.h"
#include "helpers/OperaStores.h"
#include "helpers/StoreOperations.h"
#include "model/DateUtils.h"
#include "winapi/WinApi.h"

#include <exception>
#include <string>
#include <string_view>

namespace quillon {

namespace {

// Reads one kind from the file at path with read(list); without the file there is nothing to
// read. read raises when the file cannot be read or listed; that becomes the kind's reason, and
// the entries read until then stay.
template <class TRead>
TActionOutcome ReadOperaFile(TProfileStores& profile, TCacheType kind, const std::string& path,
                             TRead read) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, kind);
  if (path.empty() || !winapi::FileExists(path))
    return outcome;
  try {
    read(profile.GetList(kind));
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, kind, path, ExceptionReason(path, TFileStep::Read, e.what()));
  }
  return outcome;
}

// The size of the file at path; 0 when it cannot be found.
std::uint64_t StoreSize(const std::string& path) {
  winapi::WIN32_FIND_DATA data;
  const winapi::TFindHandle find(winapi::FindFirstFile(path, data));
  return find.Valid() ? data.nFileSize : 0;
}

// The file's bytes, refused from its size beyond limit.
std::string ReadTextStore(const std::string& path, std::uint64_t limit, std::string_view what) {
  CheckStoreSize(path, limit, what);
  std::string text;
  if (!winapi::ReadWholeFile(path, text))
    throw EFOpenError(FileErrorReason(path, TFileStep::Read, winapi::GetLastError()));
  return text;
}

TActionOutcome ReadOperaHistory(TProfileStores& profile) {
  const std::string& path = profile.GetLocation(ctHistory);
  return ReadOperaFile(profile, ctHistory, path, [&](TCacheList& list) {
    const std::string text = ReadTextStore(path, kOperaHistoryLimit, "a history file");
    // What the entries take is counted before one is made; a record's lines with their line
    // feeds are no longer than its bytes.
    std::uint64_t cost = text.size();
    TOperaHistoryReader counter(text);
    for (TOperaHistoryRecord record; counter.Next(record);)
      cost += kListedEntryCost + ItemTextCost(record.Title.size()) +
              ItemTextCost(record.Url.size()) + ItemTextCost(record.Text.size());
    CheckStoreMemory(path, text.size(), cost, counter.RecordCount(), "history records");
    TOperaHistoryReader reader(text);
    for (TOperaHistoryRecord record; reader.Next(record);) {
      TCacheItem& item = list.Add();
      item.Name = record.Title;
      item.Path = record.Url;
      item.LastAccess = UnixTimeTextToDateTime(record.Time);
      item.Plaintext = record.Plaintext();
    }
  });
}

TActionOutcome ReadOperaPages(TProfileStores& profile) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, ctPages);
  TCacheList& list = profile.GetList(ctPages);
  list.Clear();
  const std::string& path = profile.GetLocation(ctPages);
  // A profile that keeps no ini file has no start page to show.
  if (path.empty())
    return outcome;
  std::string home;
  try {
    // The ini reader takes a file it cannot read for an empty one; that must not pass for a
    // profile without a start page.
    if (winapi::FileExists(path)) {
      ReadTextStore(path, kIniFileLimit, "an INI file");
      home = TIniFile(path).ReadString("User Prefs", "Home URL", "");
    }
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, ctPages, path,
                 ExceptionReason(path, TFileStep::Read, e.what()));
    return outcome;
  }
  // The entry stands for the setting, which exists whether the file holds it or not.
  TCacheItem& item = list.Add();
  item.Name = "[User Prefs]Home URL";
  item.Content = home;
  return outcome;
}

TActionOutcome ReadOperaHotlist(TProfileStores& profile) {
  profile.GetList(ctBookmarks).Clear();
  const std::string& path = profile.GetLocation(ctBookmarks);
  return ReadOperaFile(profile, ctBookmarks, path, [&](TCacheList& list) {
    const std::string text = ReadTextStore(path, kOperaHotlistLimit, "a bookmark file");
    // Every bookmark copies its folder's path, which a file of nested folders can make long.
    std::uint64_t cost = text.size();
    std::uint64_t count = 0;
    TOperaHotlistReader counter(text);
    for (TOperaBookmark b; counter.Next(b); ++count)
      cost += kListedEntryCost + ItemTextCost(b.Name.size()) + ItemTextCost(b.Url.size()) +
              ItemTextCost(b.Folder.size()) + ItemTextCost(b.ShortName.size()) +
              ItemTextCost(b.Description.size());
    CheckStoreMemory(path, text.size(), cost, count, "bookmarks");
    TOperaHotlistReader reader(text);
    for (TOperaBookmark b; reader.Next(b);) {
      TCacheItem& item = list.Add();
      item.Name = b.Name;
      item.Path = b.Folder;
      item.Host = b.Url;
      item.Content = b.ShortName;
      item.Plaintext = b.Description;
      TryUnixTimeTextToDateTime(b.Created, item.Expires);
      TryUnixTimeTextToDateTime(b.Visited, item.LastAccess);
    }
  });
}

TActionOutcome ReadOperaCookies(TProfileStores& profile) {
  profile.GetList(ctCookies).Clear();
  const std::string& path = profile.GetLocation(ctCookies);
  return ReadOperaFile(profile, ctCookies, path, [&](TCacheList& list) {
    const TO4CookieRoot root(path);
    const std::uint64_t fileSize = StoreSize(path);
    std::uint64_t cost = fileSize;
    std::uint64_t count = 0;
    TO4DomainWalk counter(root);
    while (const TO4Domain* node = counter.Next()) {
      if (!ListsOwnCookies(*node))
        continue;
      for (const auto& cookie : node->Cookies()) {
        ++count;
        cost += kListedEntryCost + ItemTextCost(cookie->Name.size()) +
                ItemTextCost(counter.FullNameSize()) + ItemTextCost(cookie->Value.size()) +
                ItemTextCost(path.size());
      }
    }
    CheckStoreMemory(path, fileSize, cost, count, "cookies");
    const double zoneOffset = O4ZoneOffset();
    TO4DomainWalk walk(root);
    while (const TO4Domain* node = walk.Next()) {
      if (!ListsOwnCookies(*node) || node->CookieCount() == 0)
        continue;
      const std::string host = walk.FullName();
      for (const auto& cookie : node->Cookies()) {
        TCacheItem& item = list.Add();
        item.Name = cookie->Name;
        item.Host = host;
        item.Content = cookie->Value;
        item.CacheFile = path;
        item.Expires = O4TimeToDateTime(static_cast<std::uint32_t>(cookie->Expires), zoneOffset);
        item.LastAccess =
            O4TimeToDateTime(static_cast<std::uint32_t>(cookie->LastUsed), zoneOffset);
      }
    }
    // What was read stays listed; the rest of the file is what the reason is about.
    if (const std::string damage = O4DamageReason(path, root); !damage.empty())
      throw std::runtime_error(damage);
  });
}

TActionOutcome ReadOperaCache(TProfileStores& profile) {
  profile.GetList(ctCache).Clear();
  const std::string& folder = profile.GetLocation(ctCache);
  if (folder.empty())
    return ReadOperaFile(profile, ctCache, folder, [](TCacheList&) {});
  const std::string path = JoinOperaPath(folder, kOperaCacheIndexName);
  return ReadOperaFile(profile, ctCache, path, [&](TCacheList& list) {
    const TO4CacheRoot root(path);
    const std::uint64_t fileSize = StoreSize(path);
    std::uint64_t cost = fileSize;
    const std::size_t folderSize = JoinOperaPath(folder, "").size();
    for (const auto& entry : root.Entries())
      cost += kListedEntryCost + ItemTextCost(entry->FileName.size()) +
              ItemTextCost(entry->Url.size()) + ItemTextCost(folderSize + entry->FileName.size());
    CheckStoreMemory(path, fileSize, cost, root.Entries().size(), "cache entries");
    const double zoneOffset = O4ZoneOffset();
    for (const auto& entry : root.Entries()) {
      TCacheItem& item = list.Add();
      item.Name = entry->FileName;
      item.Host = entry->Url;
      item.CacheFile = JoinOperaPath(folder, entry->FileName);
      item.Expires = O4TimeToDateTime(entry->HTTPRecord.Expires, zoneOffset);
      item.LastAccess = O4TimeToDateTime(entry->Tag05, zoneOffset);
    }
    if (const std::string damage = O4DamageReason(path, root); !damage.empty())
      throw std::runtime_error(damage);
  });
}

} // namespace

std::string JoinOperaPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\')
    path += '\\';
  path += name;
  return path;
}

TActionOutcome TBrowserHelperOpera::ReadKind(TProfileStores& profile, const THelperContext&,
                                             TCacheType kind) {
  switch (kind) {
  case ctHistory:
    return ReadOperaHistory(profile);
  case ctPages:
    return ReadOperaPages(profile);
  case ctBookmarks:
    return ReadOperaHotlist(profile);
  case ctCookies:
    return ReadOperaCookies(profile);
  case ctCache:
    break;
  }
  return ReadOperaCache(profile);
}

TActionOutcome TBrowserHelperOpera::CleanKind(TProfileStores& profile,
                                              const THelperContext& context, TCacheType kind) {
  switch (kind) {
  case ctCache:
    return CleanO4CacheIndex(profile, context.Rule);
  case ctCookies:
    return CleanO4Cookies(profile, context.Rule);
  case ctHistory:
    return CleanHistoryFile(profile, context.Rule);
  case ctPages:
    return CleanIniPages(profile, context.Rule);
  case ctBookmarks:
    break;
  }
  return CleanOperaHotlist(profile, context.Rule);
}

TActionOutcome TBrowserHelperOpera::PurgeKind(TProfileStores& profile, const THelperContext&,
                                              TCacheType kind) {
  switch (kind) {
  case ctCache:
    // The folder's files, the index among them.
    return PurgeFolder(profile, ctCache);
  case ctPages:
    return ResetIniPages(profile);
  case ctCookies:
  case ctHistory:
  case ctBookmarks:
    break;
  }
  return PurgeFile(profile, kind);
}

} // namespace quillon
