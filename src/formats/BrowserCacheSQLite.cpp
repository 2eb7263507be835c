#include "formats/BrowserCacheSQLite.h"

#include "formats/StoreLimits.h"
#include "model/DateUtils.h"
#include "winapi/SQLiteHost.h"
#include "winapi/WinApi.h"

#include <array>
#include <string>

namespace quillon {

namespace {

// Chrome counts from 1601-01-01 UTC, as Windows file times do.
constexpr std::int64_t kChromeEpochOffsetSeconds = 11644473600;

} // namespace

// ---------------------------------------------------------------------------------------------
// Stores

TDateTime StoreTimeToDateTime(std::int64_t value, TStoreTimeUnit unit) {
  if (unit == TStoreTimeUnit::UnixSeconds)
    return SQLiteTimeToDateTime(value);
  if (value == 0)
    return 0;
  // Whole seconds first: the microsecond count itself is beyond a double's exact range.
  const std::int64_t seconds = value / 1000000 - kChromeEpochOffsetSeconds;
  const double fraction = static_cast<double>(value % 1000000) / 1e6;
  return UnixTimeToDateTime(static_cast<double>(seconds) + fraction);
}

std::unique_ptr<TSQLiteDatabase> TBrowserSQLite3CacheFile::Open(TSQLiteOpenMode mode,
                                                                bool& empty) const {
  empty = false;
  const std::string hostPath = winapi::HostPath(FileName);
  if (hostPath.empty()) {
    winapi::SetLastError(winapi::ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  std::uint64_t size = 0;
  switch (winapi::HostEntryAt(hostPath, &size)) {
  case winapi::THostEntry::Missing:
    winapi::SetLastError(winapi::ERROR_FILE_NOT_FOUND);
    return nullptr;
  case winapi::THostEntry::Other:
    // A link, a folder, a device or a pipe in place of the store.
    throw ESQLiteException("Failed to open database \"" + FileName + "\" : not a plain file",
                           winapi::ERROR_ACCESS_DENIED);
  case winapi::THostEntry::PlainFile:
    break;
  }
  // SQLite would make an empty file a new database on the first write.
  if (size == 0) {
    empty = true;
    return nullptr;
  }
  if (mode != TSQLiteOpenMode::ReadOnly)
    CheckWritable(hostPath);
  return std::make_unique<TSQLiteDatabase>(hostPath, mode);
}

void TBrowserSQLite3CacheFile::CheckWritable(const std::string& hostPath) const {
  // SQLite checks the write bit through the system, which lets root write anyway.
  const winapi::DWORD attributes = winapi::GetFileAttributes(FileName);
  if (attributes == winapi::INVALID_FILE_ATTRIBUTES)
    throw ESQLiteException("Cannot change database \"" + FileName +
                               "\" : " + winapi::FormatMessage(winapi::GetLastError()),
                           winapi::GetLastError());
  if ((attributes & winapi::FILE_ATTRIBUTE_READONLY) != 0)
    throw ESQLiteException("Database \"" + FileName + "\" is read-only; it was not changed",
                           winapi::ERROR_ACCESS_DENIED);
  // A write goes through the journal files beside the database, which SQLite opens and writes
  // whatever they are: a device or a pipe there would take the pages elsewhere. (SQLite itself
  // refuses to open a link there.)
  constexpr std::array<std::string_view, 3> kSidecars = {"-journal", "-wal", "-shm"};
  for (const std::string_view suffix : kSidecars) {
    const std::string sidecar = FileName + std::string(suffix);
    const winapi::DWORD a = winapi::GetFileAttributes(sidecar);
    const bool odd =
        a != winapi::INVALID_FILE_ATTRIBUTES &&
        (a & (winapi::FILE_ATTRIBUTE_DIRECTORY | winapi::FILE_ATTRIBUTE_REPARSE_POINT));
    if (odd || winapi::HostEntryAt(hostPath + std::string(suffix)) == winapi::THostEntry::Other)
      throw ESQLiteException("\"" + sidecar + "\" is not a plain file; database \"" + FileName +
                                 "\" was not changed",
                             winapi::ERROR_ACCESS_DENIED);
  }
}

// A row costs its entry and the entry's texts however little the file holds of it: a database of
// many empty rows, or a join that repeats rows, would take many times its size. The cost is added
// up as the rows are read, and the read stops where it passes what the database may take (its
// own bytes included); the entries made by then are taken back.
bool TBrowserSQLite3CacheFile::ReadWithColumnMap(TCacheList& list, const TColumnMap& map) {
  bool empty = false;
  const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadOnly, empty);
  if (!db)
    return false;
  // A file that is no database fails here; that is a store that cannot be read, not one
  // without the table.
  if (!db->TableExists(TableName))
    return false;

  const std::string hostPath = winapi::HostPath(FileName);
  std::uint64_t size = 0, log = 0;
  winapi::HostEntryAt(hostPath, &size);
  winapi::HostEntryAt(hostPath + "-wal", &log);
  const std::uint64_t fileSize = size + log;
  const std::uint64_t budget = StoreMemoryBudget(fileSize);
  const std::uint64_t room = budget - fileSize;

  // A join looks its rows up all over the file, and SQLite's default cache of 2 MB would read
  // most pages again for every row that needs them; a table is read front to back, each page
  // once. The cache comes out of the budget's room for the file's own bytes.
  if (UseQuery)
    db->ExecSQL("PRAGMA cache_size = -" + std::to_string(fileSize / 1024 + 1) + ";");
  TSQLiteRows rows = db->Rows(UseQuery ? Query : "SELECT * FROM " + TableName);
  std::array<int, 8> column;
  for (std::size_t i = 0; i < column.size(); ++i)
    column[i] = map.Columns[i].empty() ? -1 : rows.FindColumn(map.Columns[i]);

  const auto date = [&](int c) -> TDateTime {
    try {
      return StoreTimeToDateTime(rows.Int64(c), map.TimeUnit);
    } catch (const ESQLiteException&) {
      return 0;
    }
  };
  const int first = list.Count();
  std::uint64_t cost = 0;
  std::uint64_t count = 0;
  std::string scratch;
  const auto text = [&](int c, TItemText& field) {
    if (c < 0)
      return;
    const std::string_view value = rows.Text(c, scratch);
    cost += ItemTextCost(value.size());
    field = value;
  };
  while (rows.Step()) {
    ++count;
    TCacheItem& item = list.Add();
    cost += kListedEntryCost;
    try {
      if (column[0] >= 0)
        item.DatabaseID = rows.Int64(column[0]);
      text(column[1], item.Name);
      text(column[2], item.Content);
      text(column[3], item.Host);
      text(column[4], item.Path);
      if (column[5] >= 0)
        item.ServerSecure = rows.Int64(column[5]) != 0;
      if (column[6] >= 0)
        item.Expires = date(column[6]);
      if (column[7] >= 0)
        item.LastAccess = date(column[7]);
    } catch (const ESQLiteException&) {
      list.Delete(list.Count() - 1);
    }
    if (cost > room) {
      while (list.Count() > first)
        list.Delete(list.Count() - 1);
      throw EFileTooLarge(std::string(StoreFileName(FileName)) + " lists more than " +
                          std::to_string(count - 1) + " rows in " + SizeText(fileSize) +
                          "; listed they would take more than the " + SizeText(budget) +
                          " of memory a file of that size may use; not read");
    }
  }
  return true;
}

std::string TBrowserSQLite3CacheFile::ProtectedRows(TSQLiteDatabase&) const {
  return {};
}

std::string TBrowserSQLite3CacheFile::DeleteStatement(TSQLiteDatabase& db) const {
  const std::string kept = ProtectedRows(db);
  return "DELETE FROM " + KeyTable + " WHERE " + KeyColumn + "=?" +
         (kept.empty() ? "" : " AND NOT (" + kept + ")");
}

std::vector<std::string> TBrowserSQLite3CacheFile::DeleteAllStatements(TSQLiteDatabase& db) const {
  const std::string kept = ProtectedRows(db);
  return {"DELETE FROM " + KeyTable + (kept.empty() ? "" : " WHERE NOT (" + kept + ")")};
}

bool TBrowserSQLite3CacheFile::DeleteEntry(const TCacheItem& item) {
  LastError.clear();
  try {
    bool empty = false;
    const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadWrite, empty);
    if (!db)
      return empty;
    const std::unique_ptr<TSQLiteStatement> statement = db->Prepare(DeleteStatement(*db));
    statement->BindInt64(1, item.DatabaseID);
    statement->Execute();
    return true;
  } catch (const ESQLiteException& e) {
    winapi::SetLastError(e.ErrorCode());
    LastError = e.what();
    return false;
  }
}

bool TBrowserSQLite3CacheFile::DeleteMarked(const TCacheList& list) {
  LastError.clear();
  FailedDeletions = 0;
  std::unique_ptr<TSQLiteDatabase> db;
  std::string statementText;
  try {
    bool empty = false;
    db = Open(TSQLiteOpenMode::ReadWrite, empty);
    if (!db)
      return empty;
    db->BeginWriteTransaction();
    statementText = DeleteStatement(*db);
  } catch (const ESQLiteException& e) {
    winapi::SetLastError(e.ErrorCode());
    LastError = e.what();
    return false;
  }
  // Prepared once for all rows; a statement that cannot be prepared (no such table) fails every
  // deletion, which is skipped like any other failed one.
  std::unique_ptr<TSQLiteStatement> statement;
  try {
    statement = db->Prepare(statementText);
  } catch (const ESQLiteException& e) {
    LastError = e.what();
  }
  for (int i = list.Count() - 1; i >= 0; --i) {
    const TCacheItem& item = list[i];
    if (!item.ToBeDeleted)
      continue;
    if (!statement) {
      ++FailedDeletions;
      continue;
    }
    try {
      statement->BindInt64(1, item.DatabaseID);
      statement->Execute();
    } catch (const ESQLiteException& e) {
      if (FailedDeletions++ == 0)
        LastError = e.what();
    }
  }
  statement.reset();
  try {
    db->Commit();
    return true;
  } catch (const ESQLiteException& e) {
    winapi::SetLastError(e.ErrorCode());
    LastError = e.what();
    return false;
  }
}

bool TBrowserSQLite3CacheFile::DeleteAll() {
  LastError.clear();
  try {
    bool empty = false;
    const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadWrite, empty);
    if (!db)
      return empty;
    // Taken before the statements are chosen, so the schema they look at cannot change under them.
    db->BeginWriteTransaction();
    for (const std::string& statement : DeleteAllStatements(*db))
      db->ExecSQL(statement);
    db->Commit();
    return true;
  } catch (const ESQLiteException& e) {
    winapi::SetLastError(e.ErrorCode());
    LastError = e.what();
    return false;
  }
}

namespace {

const TColumnMap kFirefox3CookiesMap{
    {"id", "name", "value", "host", "path", "isSecure", "expiry", ""}, TStoreTimeUnit::UnixSeconds};
// The statement has no last_visit_time column, so a bookmark's LastAccess stays unset.
const TColumnMap kFirefox3BookmarksMap{{"id", "title", "", "url", "", "", "", "last_visit_time"},
                                       TStoreTimeUnit::UnixSeconds};
const TColumnMap kChromeHistoryMap{{"id", "title", "", "url", "", "", "", "visit_time"},
                                   TStoreTimeUnit::ChromeMicroseconds1601};
const TColumnMap kChromeCookiesMap{
    {"creation_utc", "name", "value", "host_key", "path", "secure", "", ""},
    TStoreTimeUnit::ChromeMicroseconds1601};
const TColumnMap kChromeBookmarksMap{{"id", "title", "", "url", "", "", "", "date_modified"},
                                     TStoreTimeUnit::ChromeMicroseconds1601};

} // namespace

TFirefox3Cookies::TFirefox3Cookies(const std::string& folder)
    : TBrowserSQLite3CacheFile(folder + "cookies.sqlite") {
  TableName = "moz_cookies";
  UseQuery = false;
  KeyTable = TableName;
  KeyColumn = "id";
}

bool TFirefox3Cookies::ReadEntries(TCacheList& list) {
  return ReadWithColumnMap(list, kFirefox3CookiesMap);
}

TFirefox3Bookmarks::TFirefox3Bookmarks(const std::string& folder)
    : TBrowserSQLite3CacheFile(folder + "places.sqlite") {
  TableName = "moz_places";
  UseQuery = true;
  Query = "SELECT moz_bookmarks.id, moz_places.title, moz_places.url FROM moz_bookmarks LEFT "
          "JOIN moz_places ON moz_bookmarks.fk=moz_places.id;";
  // The listing's id is the bookmark row; its page row stays for history and other bookmarks.
  KeyTable = "moz_bookmarks";
  KeyColumn = "id";
}

bool TFirefox3Bookmarks::ReadEntries(TCacheList& list) {
  return ReadWithColumnMap(list, kFirefox3BookmarksMap);
}

std::string TFirefox3Bookmarks::ProtectedRows(TSQLiteDatabase& db) const {
  // The places root is the folder without a parent; the roots Firefox names (menu, toolbar,
  // tags, unfiled) are its folders. Firefox 3 also lists them in moz_bookmarks_roots, which later
  // versions dropped.
  std::string kept = "type = 2 AND (parent IS NULL OR parent = 0 OR parent IN (SELECT id FROM "
                     "moz_bookmarks WHERE type = 2 AND (parent IS NULL OR parent = 0)))";
  if (db.TableExists("moz_bookmarks_roots"))
    kept += " OR id IN (SELECT folder_id FROM moz_bookmarks_roots WHERE folder_id IS NOT NULL)";
  return kept;
}

TChromeHistory::TChromeHistory(const std::string& folder)
    : TBrowserSQLite3CacheFile(folder + "History") {
  TableName = "visits";
  UseQuery = true;
  Query = "SELECT visits.id, visits.visit_time, urls.title, urls.url FROM visits LEFT JOIN urls "
          "ON visits.url=urls.id;";
  KeyTable = TableName;
  KeyColumn = "id";
}

bool TChromeHistory::ReadEntries(TCacheList& list) {
  return ReadWithColumnMap(list, kChromeHistoryMap);
}

std::vector<std::string> TChromeHistory::DeleteAllStatements(TSQLiteDatabase& db) const {
  std::vector<std::string> statements = {"DELETE FROM visits"};
  if (!db.TableExists("urls"))
    return statements;
  // Newer History files keep bookmarks elsewhere and have no starred table: then no address is
  // a bookmark's.
  statements.push_back(db.TableExists("starred")
                           ? "DELETE FROM urls WHERE id NOT IN (SELECT url_id FROM starred WHERE "
                             "url_id IS NOT NULL)"
                           : "DELETE FROM urls");
  return statements;
}

TChromeCookies::TChromeCookies(const std::string& folder)
    : TBrowserSQLite3CacheFile(folder + "Cookies") {
  TableName = "cookies";
  UseQuery = false;
  KeyTable = TableName;
  KeyColumn = "creation_utc";
}

bool TChromeCookies::ReadEntries(TCacheList& list) {
  return ReadWithColumnMap(list, kChromeCookiesMap);
}

TChromeBookmarks::TChromeBookmarks(const std::string& folder)
    : TBrowserSQLite3CacheFile(folder + "History") {
  TableName = "starred";
  UseQuery = true;
  Query = "SELECT starred.id, starred.date_modified, urls.title, urls.url FROM starred LEFT JOIN "
          "urls ON starred.url_id=urls.id WHERE starred.url_id>0;";
  KeyTable = TableName;
  KeyColumn = "id";
}

bool TChromeBookmarks::ReadEntries(TCacheList& list) {
  return ReadWithColumnMap(list, kChromeBookmarksMap);
}

} // namespace quillon
