#pragma once
// Reading and cleaning a profile's list from one of the SQLite stores, as the Mozilla and the
// Chrome helpers both do.

#include "discovery/BrowserManager.h"
#include "helpers/BrowserHelper.h"
#include "helpers/StoreOperations.h"

#include <exception>
#include <string>

namespace quillon {

// The SQLite stores take the profile folder; a location without one names no store.
template <typename TStore> void ReadSQLiteStore(TBrowserProfile& profile, TCacheType kind) {
  TCacheList& list = profile.GetList(kind);
  list.Clear();
  try {
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    store.ReadEntries(list);
  } catch (const std::exception&) {
    // A locked or damaged database shows as no entries.
  }
}

// Marks the entries the validator accepts and deletes their rows in one transaction. The entries
// stay listed; the refresh after a clean reads the store again.
template <typename TStore>
void CleanSQLiteStore(TBrowserProfile& profile, TCacheType kind,
                      const TOnValidateCacheEntry& validate, bool bookmarkText) {
  if (!validate)
    return;
  try {
    TCacheList& list = profile.GetList(kind);
    for (int i = list.Count() - 1; i >= 0; --i) {
      TCacheItem& item = list[i];
      std::string newcontent = bookmarkText ? item.Path + "\\" + item.Name : item.Host + item.Path;
      item.ToBeDeleted = AskValidator(validate, profile, kind, &item, newcontent, false);
    }
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    store.DeleteMarked(list);
  } catch (const std::exception&) {
    // The store stays as it was.
  }
}

// Empties what the store lists (DeleteAll); the list follows only when that worked, so a locked
// database does not look purged.
template <typename TStore> void PurgeSQLiteStore(TBrowserProfile& profile, TCacheType kind) {
  try {
    const std::string folder = ExtractFolderPart(profile.GetLocation(kind));
    if (folder.empty())
      return;
    TStore store(folder);
    if (store.DeleteAll())
      profile.GetList(kind).Clear();
  } catch (const std::exception&) {
    // The database stays as it was.
  }
}

} // namespace quillon
