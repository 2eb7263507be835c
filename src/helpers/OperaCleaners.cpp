#include "helpers/OperaCleaners.h"

#include "formats/IniValueWriter.h"
#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "formats/OperaHistory.h"
#include "formats/OperaHotlist.h"
#include "formats/StoreFile.h"
#include "formats/StoreLimits.h"
#include "helpers/OperaStores.h"
#include "helpers/StoreOperations.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace quillon {

namespace {

constexpr std::string_view kBackupSuffix = ".vext.bak";

// The file's bytes; a file beyond limit, or one that cannot be read, raises.
std::string ReadStore(const std::string& path, std::uint64_t limit, std::string_view what) {
  CheckStoreSize(path, limit, what);
  std::string text;
  if (!winapi::ReadWholeFile(path, text))
    throw std::runtime_error(FileErrorReason(path, TFileStep::Read, winapi::GetLastError()));
  return text;
}

// Copies the store to its backup name, replacing an older backup; the store stays in place
// until its new content replaces it. Raises when the copy fails.
void BackUpStore(const std::string& path) {
  const std::string backup = path + std::string(kBackupSuffix);
  if (!winapi::CopyFile(path, backup, false))
    throw std::runtime_error(FileErrorReason(backup, TFileStep::Write, winapi::GetLastError()) +
                             "; without a backup the store was left as it was");
}

void ReplaceStore(const std::string& path, std::string_view content) {
  if (!ReplaceStoreFile(path, content))
    throw std::runtime_error(FileErrorReason(path, TFileStep::Write, winapi::GetLastError()));
}

// Takes the entries out of the list, last first, so that each deletion moves only what the
// previous one left behind.
void DeleteEntries(TCacheList& list, const std::vector<TCacheItem*>& items) {
  std::vector<int> indexes;
  indexes.reserve(items.size());
  for (const TCacheItem* item : items)
    indexes.push_back(item->Index());
  std::sort(indexes.begin(), indexes.end(), std::greater<>());
  for (const int index : indexes)
    list.Delete(index);
}

// The entries of a list by Name and Host, answering as FindEntry does (the first entry of the
// pair still in the list) without a search of the list per record: a store of 100,000 records
// would otherwise cost 10^10 comparisons.
class TEntryIndex {
  // Names and hosts of binary stores may hold any byte: the name's length keeps pairs apart.
  static std::string Key(std::string_view name, std::string_view host) {
    std::string key = std::to_string(name.size());
    key += ':';
    key += name;
    key += host;
    return key;
  }

public:
  explicit TEntryIndex(TCacheList& list) {
    byKey_.reserve(static_cast<std::size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
      byKey_[Key(list[i].Name, list[i].Host)].Items.push_back(&list[i]);
  }
  TCacheItem* Find(std::string_view name, std::string_view host) {
    const auto found = byKey_.find(Key(name, host));
    if (found == byKey_.end() || found->second.Next == found->second.Items.size())
      return nullptr;
    return found->second.Items[found->second.Next];
  }
  // The entry Find answered leaves the list: the next Find of its pair answers the one after.
  void Take(std::string_view name, std::string_view host) { ++byKey_[Key(name, host)].Next; }

private:
  struct TEntries {
    std::vector<TCacheItem*> Items;
    std::size_t Next = 0;
  };
  std::unordered_map<std::string, TEntries> byKey_;
};

// The failures of single files of one clean, told as one reason: how many, and the first.
class TFileFailures {
public:
  void Add(std::string reason) {
    if (count_++ == 0)
      first_ = std::move(reason);
  }
  void Report(TActionOutcome& outcome, TCacheType kind, const std::string& store) const {
    if (count_ == 0)
      return;
    outcome.Fail(TStoreAccess::Change, kind, store,
                 count_ == 1
                     ? first_
                     : std::to_string(count_) + " files were left in place, the first: " + first_);
  }

private:
  std::size_t count_ = 0;
  std::string first_;
};

bool FileIsGone(winapi::DWORD error) {
  return error == winapi::ERROR_FILE_NOT_FOUND || error == winapi::ERROR_PATH_NOT_FOUND;
}

// Whether a component of a cache file name names a file in its folder: Windows drops trailing
// dots and blanks, so ".. " would climb as ".." does.
bool PlainComponent(std::string_view part) {
  return !part.empty() && part.back() != '.' && part.back() != ' ';
}

} // namespace

bool CacheNameStaysInside(std::string_view name) {
  if (name.empty())
    return false;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == ':' || c == '/' || c == '*' || c == '?')
      return false;
  }
  for (std::string_view rest = name;;) {
    const std::size_t slash = rest.find('\\');
    if (!PlainComponent(rest.substr(0, slash)))
      return false;
    if (slash == std::string_view::npos)
      return true;
    rest.remove_prefix(slash + 1);
  }
}

TCacheFolder::TCacheFolder(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 3 && folder_.back() == '\\')
    folder_.pop_back();
  if (!folder_.empty())
    host_ = winapi::HostPath(folder_);
}

bool TCacheFolder::Holds(std::string_view name) const {
  if (host_.empty() || !CacheNameStaysInside(name))
    return false;
  // The text stays inside; a linked folder on the way may still lead out, which only the place
  // the system resolves the name to shows.
  const std::string hostFile = winapi::HostPath(JoinOperaPath(folder_, name));
  if (hostFile.size() <= host_.size() + 1 || hostFile.compare(0, host_.size(), host_) != 0)
    return false;
  const char separator = hostFile[host_.size()];
  return separator == '/' || separator == '\\' || host_.back() == '/';
}

bool CacheFileStaysInside(const std::string& folder, std::string_view name) {
  return TCacheFolder(folder).Holds(name);
}

TActionOutcome CleanIniPages(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctPages);
  const std::string& path = profile.GetLocation(ctPages);
  if (path.empty() || !winapi::FileExists(path))
    return outcome;
  try {
    std::string text = ReadStore(path, kIniFileLimit, "an INI file");
    TCacheList& list = profile.GetList(ctPages);
    std::vector<std::pair<TCacheItem*, std::string>> accepted;
    bool changed = false;
    for (int i = 0; i < list.Count(); ++i) {
      TCacheItem& item = list[i];
      const std::string_view name = item.Name;
      const std::size_t close = name.find(']');
      if (close == std::string_view::npos)
        continue;
      // "[User Prefs]Home URL": the bracketed section, then the key.
      const std::string_view section = close == 0 ? std::string_view() : name.substr(1, close - 1);
      const std::string_view key = name.substr(close + 1);
      TCleanDecision decision = AskRule(rule, ctPages, &item, "about:blank", true);
      if (!decision.Remove)
        continue;
      TIniValueWrite write = WriteIniValue(text, section, key, decision.Content);
      if (write.Changed) {
        text = std::move(write.Content);
        changed = true;
      }
      accepted.emplace_back(&item, std::move(decision.Content));
    }
    // A file that holds the values already is left alone, line ends and all.
    if (changed)
      ReplaceStore(path, text);
    for (auto& [item, content] : accepted)
      item->Content = content;
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctPages, path,
                 ExceptionReason(path, TFileStep::Write, e.what()));
  }
  return outcome;
}

TActionOutcome ResetIniPages(TProfileStores& profile) {
  return CleanIniPages(profile, {});
}

TActionOutcome CleanHistoryFile(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctHistory);
  const std::string& path = profile.GetLocation(ctHistory);
  if (!rule || path.empty() || !winapi::FileExists(path))
    return outcome;
  TCacheList& list = profile.GetList(ctHistory);
  std::vector<TCacheItem*> accepted;
  for (int i = list.Count() - 1; i >= 0; --i) {
    TCacheItem& item = list[i];
    if (rule(ctHistory, &item, item.Path.str()).Remove)
      accepted.push_back(&item);
  }
  if (accepted.empty())
    return outcome;
  // Each accepted entry takes one record of its lines; two equal records are two entries.
  TLineCounts toRemove;
  for (const TCacheItem* item : accepted)
    ++toRemove[item->Plaintext.view()];
  try {
    const std::string text = ReadStore(path, kOperaHistoryLimit, "a history file");
    const TOperaHistoryRewrite rewrite = RewriteOperaHistory(text, toRemove);
    // Entries read from another state of the file may find nothing of theirs to remove.
    if (rewrite.Removed > 0)
      ReplaceStore(path, rewrite.Content);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctHistory, path,
                 ExceptionReason(path, TFileStep::Write, e.what()));
    return outcome;
  }
  DeleteEntries(list, accepted);
  return outcome;
}

TActionOutcome CleanOperaHotlist(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctBookmarks);
  const std::string& path = profile.GetLocation(ctBookmarks);
  if (!rule || path.empty() || !winapi::FileExists(path))
    return outcome;
  TCacheList& list = profile.GetList(ctBookmarks);
  std::vector<TCacheItem*> accepted;
  for (int i = list.Count() - 1; i >= 0; --i) {
    TCacheItem& item = list[i];
    if (rule(ctBookmarks, &item, item.Path + "\\" + item.Name).Remove)
      accepted.push_back(&item);
  }
  if (accepted.empty())
    return outcome;
  TBookmarkCounts toRemove;
  for (const TCacheItem* item : accepted)
    ++toRemove[OperaBookmarkKey(item->Name, item->Host)];
  try {
    const std::string text = ReadStore(path, kOperaHotlistLimit, "a bookmark file");
    const TOperaHotlistRewrite rewrite = RewriteOperaHotlist(text, toRemove);
    if (rewrite.Removed > 0) {
      BackUpStore(path);
      ReplaceStore(path, rewrite.Content);
    }
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctBookmarks, path,
                 ExceptionReason(path, TFileStep::Write, e.what()));
    return outcome;
  }
  DeleteEntries(list, accepted);
  return outcome;
}

TActionOutcome CleanO4Cookies(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctCookies);
  const std::string& path = profile.GetLocation(ctCookies);
  if (!rule || path.empty() || !winapi::FileExists(path))
    return outcome;
  TCacheList& list = profile.GetList(ctCookies);
  std::vector<TCacheItem*> accepted;
  try {
    TO4CookieRoot root(path);
    // Saving a tree read in part would drop the rest of the file.
    if (const std::string damage = O4DamageReason(path, root); !damage.empty())
      throw std::runtime_error(damage + "; it was left as it was");
    TEntryIndex index(list);
    TO4DomainWalk walk(root);
    while (TO4Domain* node = walk.Next()) {
      if (node->CookieCount() == 0)
        continue;
      const std::string host = walk.FullName();
      const auto cookies = node->Cookies();
      std::unordered_set<const TO4Cookie*> taken;
      for (auto it = cookies.rbegin(); it != cookies.rend(); ++it) {
        const std::string& name = (*it)->Name;
        TCacheItem* const item = index.Find(name, host);
        if (item == nullptr || !rule(ctCookies, item, name).Remove)
          continue;
        index.Take(name, host);
        accepted.push_back(item);
        taken.insert(it->get());
      }
      // In one pass: one deletion at a time would move the node's other cookies each time.
      if (!taken.empty())
        node->DeleteCookiesIf([&](const TO4Cookie& cookie) { return taken.contains(&cookie); });
    }
    if (accepted.empty())
      return outcome;
    BackUpStore(path);
    root.SaveToFile(path);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctCookies, path,
                 ExceptionReason(path, TFileStep::Write, e.what()));
    return outcome;
  }
  DeleteEntries(list, accepted);
  return outcome;
}

TActionOutcome CleanO4CacheIndex(TProfileStores& profile, const TCleanRule& rule) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, ctCache);
  const std::string& folder = profile.GetLocation(ctCache);
  if (!rule || folder.empty())
    return outcome;
  const std::string path = JoinOperaPath(folder, kOperaCacheIndexName);
  if (!winapi::FileExists(path))
    return outcome;
  TCacheList& list = profile.GetList(ctCache);
  std::vector<TCacheItem*> accepted;
  std::vector<std::string> files; // the removed records' file names, as the index had them
  try {
    TO4CacheRoot root(path);
    if (const std::string damage = O4DamageReason(path, root); !damage.empty())
      throw std::runtime_error(damage + "; it was left as it was");
    TEntryIndex index(list);
    const auto entries = root.Entries();
    std::unordered_set<const TO4CacheEntry*> taken;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      const TO4CacheEntry& entry = **it;
      TCacheItem* const item = index.Find(entry.FileName, entry.Url);
      if (item == nullptr || !rule(ctCache, item, entry.Url).Remove)
        continue;
      index.Take(entry.FileName, entry.Url);
      accepted.push_back(item);
      files.push_back(entry.FileName);
      taken.insert(&entry);
    }
    // In one pass: an index of 100,000 records would move the rest once per deletion.
    root.DeleteEntriesIf([&](const TO4CacheEntry& entry) { return taken.contains(&entry); });
    if (accepted.empty())
      return outcome;
    BackUpStore(path);
    root.SaveToFile(path);
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, ctCache, path,
                 ExceptionReason(path, TFileStep::Write, e.what()));
    return outcome;
  }
  // Only now that the index no longer names them do the files go: a failed save leaves index and
  // files together.
  TFileFailures failures;
  const TCacheFolder cacheFolder(folder);
  const auto outside = [&](const std::string& name) {
    failures.Add("the cache file \"" + name + "\" lies outside " + folder +
                 " and was left in place");
  };
  for (const std::string& name : files) {
    // A name that climbs out is reported whether or not something answers to it; a link is
    // looked at only where there is a file to delete.
    if (!CacheNameStaysInside(name)) {
      outside(name);
      continue;
    }
    const std::string file = JoinOperaPath(folder, name);
    if (!winapi::FileExists(file))
      continue;
    if (!cacheFolder.Holds(name)) {
      outside(name);
    } else if (!winapi::DeleteFile(file)) {
      const winapi::DWORD error = winapi::GetLastError();
      if (!FileIsGone(error))
        failures.Add(FileErrorReason(file, TFileStep::Delete, error));
    }
  }
  failures.Report(outcome, ctCache, folder);
  DeleteEntries(list, accepted);
  return outcome;
}

} // namespace quillon
