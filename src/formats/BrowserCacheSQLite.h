#pragma once
// The SQLite stores of the newer browser generations: Firefox 3 (cookies.sqlite, places.sqlite)
// and Chrome (Cookies, History): one store class per browser table that turns rows into entries
// and deletes rows again, over the layer in formats/SQLiteDatabase.h.
//
// Reading never creates or changes a file: a missing or empty database is "no entries", and a
// database is read through a file layer that cannot write (WAL databases included). A deletion
// opens it read-write, and only a store that has a write bit and whose journal files are plain
// files or absent; a store file of zero bytes is left as it is. Links are never followed: the
// host path of a store has every link resolved already, so one that remains is refused.

#include "formats/SQLiteDatabase.h"
#include "model/BrowserCache.h"
#include "winapi/WinApi.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The unit a store keeps its date columns in.
enum class TStoreTimeUnit : std::uint8_t {
  UnixSeconds,            // Firefox: seconds since 1970-01-01 UTC
  ChromeMicroseconds1601, // Chrome: microseconds since 1601-01-01 UTC, 0 for none
};

// Which result column fills which entry field; an empty name leaves the field unfilled.
// Positions: DatabaseID, Name, Content, Host, Path, ServerSecure, Expires, LastAccess.
struct TColumnMap {
  std::array<std::string_view, 8> Columns;
  TStoreTimeUnit TimeUnit = TStoreTimeUnit::UnixSeconds;
};

// A date column's integer in local time (0 for none).
TDateTime StoreTimeToDateTime(std::int64_t value, TStoreTimeUnit unit);

// One browser table in one database file. The file is opened for each operation and closed again,
// so that a store never holds a browser's database open between two operations.
class TBrowserSQLite3CacheFile {
public:
  virtual ~TBrowserSQLite3CacheFile() = default;
  TBrowserSQLite3CacheFile(const TBrowserSQLite3CacheFile&) = delete;
  TBrowserSQLite3CacheFile& operator=(const TBrowserSQLite3CacheFile&) = delete;

  // Appends one entry per row; answers whether the table was found (false, and no file touched,
  // when the database does not exist or is empty). Opening or querying an existing database, or
  // a file that is no database, raises ESQLiteException: a store that cannot be read is not an
  // empty one.
  virtual bool ReadEntries(TCacheList& list) = 0;
  // The deletions answer false instead of raising, with GetLastError telling why
  // (ERROR_FILE_NOT_FOUND for a missing database, ERROR_ACCESS_DENIED for a read-only one or one
  // whose journal files are not plain files, ERROR_SHARING_VIOLATION for one another program
  // holds) and SQLite's own words, where it gave any, in LastError. An empty database file has
  // nothing to delete: true, and the file stays as it is.
  //
  // Deletes the row of one entry.
  virtual bool DeleteEntry(const TCacheItem& item);
  // Deletes the rows of all marked entries in one transaction; the entries stay in the list.
  // false when the transaction could not be begun or committed. A row that could not be deleted
  // is skipped and counted in FailedDeletions.
  bool DeleteMarked(const TCacheList& list);
  // Deletes every row the listing shows (and what belongs to them only) in one transaction.
  bool DeleteAll();

  std::string FileName;  // Windows path of the database file
  std::string TableName; // tested for, and read when no query is set
  bool UseQuery = false;
  std::string Query;     // the listing statement
  std::string KeyTable;  // the table that holds the listed rows; deletions go there
  std::string KeyColumn; // its column that the entries' DatabaseID holds
  // Why the last deletion failed (SQLite's message); empty when the database does not exist.
  std::string LastError;
  // Marked rows the last DeleteMarked could not delete.
  int FailedDeletions = 0;

protected:
  explicit TBrowserSQLite3CacheFile(std::string fileName) : FileName(std::move(fileName)) {}
  // Raises EFileTooLarge, the list as it was, when the listing's entries would take more memory
  // than the database's size allows.
  bool ReadWithColumnMap(TCacheList& list, const TColumnMap& map);
  // A condition on KeyTable's rows that no deletion may touch (rows the browser needs to start);
  // empty when every row may go.
  virtual std::string ProtectedRows(TSQLiteDatabase& db) const;
  // The statements of DeleteAll, run in one transaction.
  virtual std::vector<std::string> DeleteAllStatements(TSQLiteDatabase& db) const;

private:
  // null, with GetLastError set, when the file does not exist; null with empty set when it has
  // no bytes (nothing is created or opened then). Raises ESQLiteException for a file that may not
  // be opened in that mode.
  std::unique_ptr<TSQLiteDatabase> Open(TSQLiteOpenMode mode, bool& empty) const;
  // Refuses (ESQLiteException) a write SQLite would carry out although the store may not change.
  void CheckWritable(const std::string& hostPath) const;
  std::string DeleteStatement(TSQLiteDatabase& db) const;
};

// The constructors take the profile folder, ending in "\".
class TFirefox3Cookies : public TBrowserSQLite3CacheFile {
public:
  explicit TFirefox3Cookies(const std::string& folder);
  bool ReadEntries(TCacheList& list) override;
};

// Bookmarks carry the page title in Name and the address in Host. The listing's id is the
// moz_bookmarks row, so a deletion removes the bookmark and leaves the page and its history. The
// root folders (the places root and its folders: menu, toolbar, tags, unfiled) are never
// deleted: Firefox cannot start its bookmarks without them.
class TFirefox3Bookmarks : public TBrowserSQLite3CacheFile {
public:
  explicit TFirefox3Bookmarks(const std::string& folder);
  bool ReadEntries(TCacheList& list) override;

protected:
  std::string ProtectedRows(TSQLiteDatabase& db) const override;
};

// DeleteAll removes the visits and every address no bookmark (starred row) refers to, so the
// titles and visit counts of the addresses go too.
class TChromeHistory : public TBrowserSQLite3CacheFile {
public:
  explicit TChromeHistory(const std::string& folder);
  bool ReadEntries(TCacheList& list) override;

protected:
  std::vector<std::string> DeleteAllStatements(TSQLiteDatabase& db) const override;
};

// The key is creation_utc, which Chrome keeps unique per cookie.
class TChromeCookies : public TBrowserSQLite3CacheFile {
public:
  explicit TChromeCookies(const std::string& folder);
  bool ReadEntries(TCacheList& list) override;
};

class TChromeBookmarks : public TBrowserSQLite3CacheFile {
public:
  explicit TChromeBookmarks(const std::string& folder);
  bool ReadEntries(TCacheList& list) override;
};

} // namespace quillon
