#pragma once
// Reading and cleaning a profile's list from one of the SQLite stores, as the Mozilla and the
// Chrome helpers both do.

#include "formats/BrowserCacheSQLite.h"
#include "helpers/BrowserHelper.h"
#include "helpers/StoreOperations.h"
#include "platform/PathParts.h"
#include "winapi/WinApi.h"

#include <exception>
#include <string>
#include <string_view>

namespace quillon {

// SQLite's own words from a store's message ("... \"<statement>\" : database is locked"): the
// statement means nothing to the user. A message without them stands as it is.
inline std::string SQLiteReason(const std::string& message) {
  constexpr std::string_view kSeparator = "\" : ";
  const std::size_t pos = message.rfind(kSeparator);
  return pos == std::string::npos ? message : message.substr(pos + kSeparator.size());
}

// Why a database could not be read or changed: a database another program holds (a running
// browser) is told as any store in use; otherwise SQLite's or the store's own words.
inline std::string SQLiteStoreReason(const std::string& store, TFileStep step, winapi::DWORD error,
                                     const std::string& message) {
  if (error == winapi::ERROR_SHARING_VIOLATION)
    return FileErrorReason(store, step, error);
  return ExceptionReason(store, step, SQLiteReason(message));
}

// The SQLite stores take the profile folder; a location without one names no store. A locked or
// damaged database shows no entries, and the outcome says why.
template <typename TStore>
TActionOutcome ReadSQLiteStore(TProfileStores& profile, TCacheType kind) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Read, kind);
  TCacheList& list = profile.GetList(kind);
  list.Clear();
  const std::string folder = FolderPart(profile.GetLocation(kind));
  if (folder.empty())
    return outcome;
  TStore store(folder);
  try {
    store.ReadEntries(list);
  } catch (const ESQLiteException& e) {
    outcome.Fail(TStoreAccess::Read, kind, store.FileName,
                 SQLiteStoreReason(store.FileName, TFileStep::Read, e.ErrorCode(), e.what()));
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Read, kind, store.FileName,
                 ExceptionReason(store.FileName, TFileStep::Read, SQLiteReason(e.what())));
  }
  return outcome;
}

// Marks the entries the rule accepts and deletes their rows in one transaction. The entries
// stay listed; the refresh after a clean reads the store again. A database that cannot be
// changed (locked, read-only, damaged) stays as it was, and the outcome says why.
template <typename TStore>
TActionOutcome CleanSQLiteStore(TProfileStores& profile, TCacheType kind, const TCleanRule& rule,
                                bool bookmarkText) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, kind);
  if (!rule)
    return outcome;
  const std::string folder = FolderPart(profile.GetLocation(kind));
  TStore store(folder);
  try {
    TCacheList& list = profile.GetList(kind);
    int marked = 0;
    for (int i = list.Count() - 1; i >= 0; --i) {
      TCacheItem& item = list[i];
      item.ToBeDeleted =
          rule(kind, &item, bookmarkText ? item.Path + "\\" + item.Name : item.Host + item.Path)
              .Remove;
      marked += item.ToBeDeleted ? 1 : 0;
    }
    // Without a database there is nothing to remove.
    if (folder.empty() || !winapi::FileExists(store.FileName))
      return outcome;
    if (!store.DeleteMarked(list))
      outcome.Fail(TStoreAccess::Change, kind, store.FileName,
                   SQLiteStoreReason(store.FileName, TFileStep::Write, winapi::GetLastError(),
                                     store.LastError));
    else if (store.FailedDeletions > 0)
      outcome.Fail(TStoreAccess::Change, kind, store.FileName,
                   std::to_string(store.FailedDeletions) + " of " + std::to_string(marked) +
                       " entries could not be removed from " + store.FileName + " (" +
                       SQLiteReason(store.LastError) + ")");
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, kind, store.FileName,
                 ExceptionReason(store.FileName, TFileStep::Write, SQLiteReason(e.what())));
  }
  return outcome;
}

// Empties what the store lists (DeleteAll); the list follows only when that worked, so a locked
// database does not look purged, and the outcome says why.
template <typename TStore>
TActionOutcome PurgeSQLiteStore(TProfileStores& profile, TCacheType kind) {
  TActionOutcome outcome;
  outcome.Ask(TStoreAccess::Change, kind);
  const std::string folder = FolderPart(profile.GetLocation(kind));
  if (folder.empty())
    return outcome;
  TStore store(folder);
  try {
    if (!winapi::FileExists(store.FileName))
      return outcome;
    if (store.DeleteAll())
      profile.GetList(kind).Clear();
    else
      outcome.Fail(TStoreAccess::Change, kind, store.FileName,
                   SQLiteStoreReason(store.FileName, TFileStep::Write, winapi::GetLastError(),
                                     store.LastError));
  } catch (const std::exception& e) {
    outcome.Fail(TStoreAccess::Change, kind, store.FileName,
                 ExceptionReason(store.FileName, TFileStep::Write, SQLiteReason(e.what())));
  }
  return outcome;
}

} // namespace quillon
