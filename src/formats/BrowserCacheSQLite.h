#pragma once
// The SQLite stores of the newer browser generations: Firefox 3 (cookies.sqlite, places.sqlite)
// and Chrome (Cookies, History). A thin layer over the SQLite library (TSQLiteDatabase,
// TSQLiteTable, TSQLiteStatement, ESQLiteException) and, on top of it, one store class per browser
// table that turns rows into entries and deletes rows again.
//
// Reading never creates or changes a file: a missing or empty database is "no entries", and a
// database is read through a file layer that cannot write (WAL databases included). A deletion
// opens it read-write, and only a store that has a write bit and whose journal files are plain
// files or absent; a store file of zero bytes is left as it is. Links are never followed: the
// host path of a store has every link resolved already, so one that remains is refused.

#include "model/BrowserCache.h"
#include "winapi/WinApi.h"

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quillon {

class ESQLiteException : public std::runtime_error {
public:
  explicit ESQLiteException(const std::string& message,
                            winapi::DWORD errorCode = winapi::ERROR_INVALID_DATA)
      : std::runtime_error(message), errorCode_(errorCode) {}
  // The Windows error that stands for the failure: ERROR_SHARING_VIOLATION for a database another
  // program holds, ERROR_ACCESS_DENIED for one that may not be changed, ERROR_INVALID_DATA for
  // one that is damaged or not a database.
  winapi::DWORD ErrorCode() const { return errorCode_; }

private:
  winapi::DWORD errorCode_;
};

struct TSQLiteDbDeleter {
  void operator()(sqlite3* db) const;
};
using TSQLiteDbPtr = std::unique_ptr<sqlite3, TSQLiteDbDeleter>;
struct TSQLiteStmtDeleter {
  void operator()(sqlite3_stmt* stmt) const;
};
using TSQLiteStmtPtr = std::unique_ptr<sqlite3_stmt, TSQLiteStmtDeleter>;

// Column types of a query result. A column's type follows its declared type; an expression column
// (no declared type) takes the storage type of its first row's value.
enum TSQLiteColumnType : std::uint8_t {
  dtInt = 1,
  dtNumeric = 2,
  dtStr = 3,
  dtBlob = 4,
  dtNull = 5,
};

// A query read one row at a time, each value typed as TSQLiteTable types it, so that a large
// listing becomes entries without being held as a whole first.
class TSQLiteRows {
public:
  TSQLiteRows(sqlite3* db, const std::string& sql);
  TSQLiteRows(const TSQLiteRows&) = delete;
  TSQLiteRows& operator=(const TSQLiteRows&) = delete;

  int ColumnCount() const { return static_cast<int>(names_.size()); }
  // Upper-cased, as the result names them.
  const std::string& ColumnName(int column) const { return names_.at(column); }
  // Index of a column, the name compared upper-cased; -1 when there is none.
  int FindColumn(std::string_view name) const;
  // Steps to the next row (the first on the first call); false past the last one.
  bool Step();

  enum class TKind : std::uint8_t { Null, Int, Float, Bytes };
  // How the current row's value in column is held (the column in range).
  TKind Kind(int column) const;
  // The current row's integer, or the floating value truncated; 0 for null. Raises
  // ESQLiteException for text and blobs and for a floating value beyond the integers.
  std::int64_t Int64(int column) const;
  // The current row's floating value (the column of kind Float).
  double Double(int column) const;
  // The current row's value as text (an integer in decimal); empty for null. The view lasts until
  // the next call; scratch holds a number's text.
  std::string_view Text(int column, std::string& scratch) const;
  // The column's type: declared, or for an expression its first row's storage type.
  TSQLiteColumnType ColumnType(int column) const { return types_.at(column); }

private:
  sqlite3* db_;
  std::string sql_;
  TSQLiteStmtPtr stmt_;
  std::vector<std::string> names_;
  std::vector<TSQLiteColumnType> types_;
  std::vector<bool> fromFirstRow_;
  bool typesPending_ = false;
};

// The complete result of one query, held in memory, with a current row that starts at row 0.
// Texts and blobs live in one buffer so that a large result costs no allocation per value.
class TSQLiteTable {
public:
  TSQLiteTable(sqlite3* db, const std::string& sql);

  int RowCount() const { return rowCount_; }
  int ColumnCount() const { return static_cast<int>(names_.size()); }
  // Upper-cased, as the result names them.
  const std::string& ColumnName(int column) const { return names_.at(column); }
  TSQLiteColumnType ColumnType(int column) const { return types_.at(column); }

  bool AtEnd() const { return row_ >= rowCount_; }
  // Advances unless at the end; answers whether it moved.
  bool NextRow();
  int Row() const { return row_; }

  // Index of a column, the name compared upper-cased.
  int ColumnIndex(std::string_view name) const;
  // The current row's integer (a floating value truncated); 0 for null.
  std::int64_t ColumnInt64(int column) const;
  // The current row's floating value (the column of kind Float).
  double Double(int column) const;
  // The current row's value as text (an integer in decimal); empty for null.
  std::string ColumnText(int column) const;
  bool ColumnIsNull(int column) const;

private:
  using TKind = TSQLiteRows::TKind;
  struct TCell {
    std::int64_t Int = 0; // the integer, the bits of the double, or the offset into bytes_
    std::uint32_t Size = 0;
    TKind Kind = TKind::Null;
  };
  const TCell& Cell(int column) const;

  std::vector<std::string> names_;
  std::vector<TSQLiteColumnType> types_;
  std::vector<TCell> cells_; // row by row
  std::string bytes_;
  int rowCount_ = 0;
  int row_ = 0;
};

// A prepared statement for running the same statement with other values many times.
class TSQLiteStatement {
public:
  TSQLiteStatement(sqlite3* db, const std::string& sql);
  void BindInt64(int index, std::int64_t value); // index from 1
  void BindText(int index, std::string_view value);
  void BindDouble(int index, double value);
  void BindBlob(int index, std::string_view value);
  void BindNull(int index);
  // Runs the statement to its end (no row allowed) and makes it ready for the next values.
  void Execute();

private:
  sqlite3* db_;
  std::string sql_;
  TSQLiteStmtPtr stmt_;
};

enum class TSQLiteOpenMode : std::uint8_t {
  ReadOnly,  // never creates, changes or leaves a file behind
  ReadWrite, // the file must exist
  Create,    // creates a missing file (writers of test and demo stores)
};

// One open connection. Errors raise ESQLiteException.
class TSQLiteDatabase {
public:
  // fileName is a host path. A transaction still open at destruction is rolled back.
  TSQLiteDatabase(const std::string& fileName, TSQLiteOpenMode mode);
  ~TSQLiteDatabase();
  TSQLiteDatabase(const TSQLiteDatabase&) = delete;
  TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;

  // Runs a statement that gives no row.
  void ExecSQL(const std::string& sql);
  std::unique_ptr<TSQLiteTable> GetTable(const std::string& sql);
  // The rows of a query, read as they are stepped to.
  TSQLiteRows Rows(const std::string& sql);
  std::unique_ptr<TSQLiteStatement> Prepare(const std::string& sql);
  bool TableExists(const std::string& tableName);
  void BeginTransaction();
  // Takes the write lock at once, so that a database another program holds fails here and not
  // row by row.
  void BeginWriteTransaction();
  void Commit();
  void Rollback();
  bool IsTransactionOpen() const { return transactionOpen_; }

private:
  TSQLiteDbPtr db_;
  bool transactionOpen_ = false;
};

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
