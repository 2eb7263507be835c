#include "formats/BrowserCacheSQLite.h"

#include "model/DateUtils.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

namespace quillon {

void TSQLiteDbDeleter::operator()(sqlite3* db) const {
  sqlite3_close(db);
}
void TSQLiteStmtDeleter::operator()(sqlite3_stmt* stmt) const {
  sqlite3_finalize(stmt);
}

namespace {

// Chrome counts from 1601-01-01 UTC, as Windows file times do.
constexpr std::int64_t kChromeEpochOffsetSeconds = 11644473600;

bool IsErrorCode(int code) {
  return code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE;
}

// The message alone, or with the statement and SQLite's own words when the connection reports
// an error.
[[noreturn]] void Raise(sqlite3* db, const char* message, const std::string& sql) {
  if (db != nullptr && IsErrorCode(sqlite3_errcode(db)))
    throw ESQLiteException(std::string(message) + " \"" + sql + "\" : " + sqlite3_errmsg(db));
  throw ESQLiteException(message);
}

TSQLiteStmtPtr PrepareStatement(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  TSQLiteStmtPtr stmt(raw);
  if (rc != SQLITE_OK)
    Raise(db, "Error executing SQL", sql);
  if (!stmt)
    Raise(db, "Could not prepare SQL statement", sql);
  return stmt;
}

// SQL's type names are case-insensitive; a schema that writes "integer" means the same.
TSQLiteColumnType TypeOfDeclaration(std::string_view declared) {
  const std::string type = UpperCaseAscii(declared);
  if (type == "INTEGER" || type == "BOOLEAN")
    return dtInt;
  if (type == "NUMERIC" || type == "FLOAT" || type == "DOUBLE" || type == "REAL")
    return dtNumeric;
  if (type == "BLOB")
    return dtBlob;
  return dtStr;
}

TSQLiteColumnType TypeOfStorage(int storage) {
  switch (storage) {
  case SQLITE_INTEGER:
    return dtInt;
  case SQLITE_FLOAT:
    return dtNumeric;
  case SQLITE_TEXT:
    return dtStr;
  case SQLITE_BLOB:
    return dtBlob;
  default:
    return dtNull;
  }
}

// A database in WAL mode whose write-ahead log does not exist is complete in its main file. A
// read-only connection would still create the log and its shared-memory index beside it and
// leave both behind; marked immutable it reads the main file alone and creates nothing.
bool IsQuietWalDatabase(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  char header[20] = {};
  if (!in.read(header, sizeof header))
    return false;
  if (std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] != 2 || header[19] != 2)
    return false;
  std::error_code ec;
  return !std::filesystem::exists(fileName + "-wal", ec) && !ec;
}

// "file:" URI of a host path; '%', '?' and '#' would otherwise be read as URI syntax.
std::string FileUri(const std::string& fileName) {
  std::error_code ec;
  std::string path = std::filesystem::absolute(fileName, ec).string();
  if (ec)
    path = fileName;
  std::string uri = "file://";
  for (const char c : path) {
    if (c == '%')
      uri += "%25";
    else if (c == '?')
      uri += "%3f";
    else if (c == '#')
      uri += "%23";
    else
      uri += c;
  }
  return uri;
}

std::string DoubleText(double value) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TSQLiteTable

TSQLiteTable::TSQLiteTable(sqlite3* db, const std::string& sql) {
  const TSQLiteStmtPtr stmt = PrepareStatement(db, sql);
  sqlite3_stmt* s = stmt.get();
  const int columns = sqlite3_column_count(s);
  names_.reserve(columns);
  types_.reserve(columns);
  // Expression columns have no declared type; they take their first value's.
  std::vector<bool> fromFirstRow(columns);
  bool typesPending = false;
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(s, c);
    names_.push_back(UpperCaseAscii(name != nullptr ? name : ""));
    const char* declared = sqlite3_column_decltype(s, c);
    types_.push_back(declared != nullptr ? TypeOfDeclaration(declared) : dtNull);
    fromFirstRow[c] = declared == nullptr;
    typesPending = typesPending || declared == nullptr;
  }

  for (;;) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE)
      break;
    if (rc == SQLITE_BUSY)
      throw ESQLiteException("Could not prepare SQL statement");
    if (rc != SQLITE_ROW)
      Raise(db, "Could not retrieve data", sql);
    if (rowCount_ == std::numeric_limits<int>::max())
      throw ESQLiteException("Could not retrieve data");
    if (typesPending) {
      for (int c = 0; c < columns; ++c)
        if (fromFirstRow[c])
          types_[c] = TypeOfStorage(sqlite3_column_type(s, c));
      typesPending = false;
    }
    for (int c = 0; c < columns; ++c) {
      TCell cell;
      const int storage = sqlite3_column_type(s, c);
      // A column without a type of its own (an expression whose first value was null) keeps
      // each value by its storage type rather than dropping it.
      const TSQLiteColumnType type = types_[c] == dtNull ? TypeOfStorage(storage) : types_[c];
      if (storage != SQLITE_NULL) {
        switch (type) {
        case dtInt:
          cell.Kind = TKind::Int;
          cell.Int = sqlite3_column_int64(s, c);
          break;
        case dtNumeric:
          cell.Kind = TKind::Float;
          cell.Int = std::bit_cast<std::int64_t>(sqlite3_column_double(s, c));
          break;
        case dtStr: {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
          const int size = sqlite3_column_bytes(s, c);
          if (text != nullptr) {
            // A text ends at its first zero byte.
            const void* zero = std::memchr(text, 0, static_cast<std::size_t>(size));
            const std::size_t length =
                zero != nullptr ? static_cast<const char*>(zero) - text : size;
            cell.Kind = TKind::Bytes;
            cell.Int = static_cast<std::int64_t>(bytes_.size());
            cell.Size = static_cast<std::uint32_t>(length);
            bytes_.append(text, length);
          }
          break;
        }
        case dtBlob:
        case dtNull: {
          const void* blob = sqlite3_column_blob(s, c);
          const int size = sqlite3_column_bytes(s, c);
          if (blob != nullptr && size > 0) {
            cell.Kind = TKind::Bytes;
            cell.Int = static_cast<std::int64_t>(bytes_.size());
            cell.Size = static_cast<std::uint32_t>(size);
            bytes_.append(static_cast<const char*>(blob), static_cast<std::size_t>(size));
          }
          break;
        }
        }
      }
      cells_.push_back(cell);
    }
    ++rowCount_;
  }
}

bool TSQLiteTable::NextRow() {
  if (AtEnd())
    return false;
  ++row_;
  return true;
}

int TSQLiteTable::ColumnIndex(std::string_view name) const {
  if (names_.empty())
    throw ESQLiteException("Field " + std::string(name) + " Not found. Empty dataset");
  const std::string upper = UpperCaseAscii(name);
  const auto it = std::find(names_.begin(), names_.end(), upper);
  if (it == names_.end())
    throw ESQLiteException("Field not found in dataset: " + std::string(name));
  return static_cast<int>(it - names_.begin());
}

const TSQLiteTable::TCell& TSQLiteTable::Cell(int column) const {
  if (AtEnd())
    throw ESQLiteException("Table is at End of File");
  if (column < 0 || column >= ColumnCount())
    throw ESQLiteException("Field not found in dataset: " + std::to_string(column));
  return cells_[static_cast<std::size_t>(row_) * names_.size() + static_cast<std::size_t>(column)];
}

std::int64_t TSQLiteTable::ColumnInt64(int column) const {
  const TCell& cell = Cell(column);
  switch (cell.Kind) {
  case TKind::Null:
    return 0;
  case TKind::Int:
    return cell.Int;
  case TKind::Float: {
    const double value = std::trunc(std::bit_cast<double>(cell.Int));
    if (!(value >= -9.2e18 && value <= 9.2e18))
      throw ESQLiteException("Not an integer or numeric field");
    return static_cast<std::int64_t>(value);
  }
  case TKind::Bytes:
    break;
  }
  throw ESQLiteException("Not an integer or numeric field");
}

std::string TSQLiteTable::ColumnText(int column) const {
  const TCell& cell = Cell(column);
  switch (cell.Kind) {
  case TKind::Null:
    return {};
  case TKind::Int:
    return std::to_string(cell.Int);
  case TKind::Float:
    return DoubleText(std::bit_cast<double>(cell.Int));
  case TKind::Bytes:
    break;
  }
  return bytes_.substr(static_cast<std::size_t>(cell.Int), cell.Size);
}

bool TSQLiteTable::ColumnIsNull(int column) const {
  return Cell(column).Kind == TKind::Null;
}

// ---------------------------------------------------------------------------------------------
// TSQLiteStatement

TSQLiteStatement::TSQLiteStatement(sqlite3* db, const std::string& sql)
    : db_(db), sql_(sql), stmt_(PrepareStatement(db, sql)) {}

void TSQLiteStatement::BindInt64(int index, std::int64_t value) {
  if (sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK)
    Raise(db_, "Error executing SQL statement", sql_);
}

void TSQLiteStatement::BindText(int index, std::string_view value) {
  if (sqlite3_bind_text64(stmt_.get(), index, value.data(), value.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8) != SQLITE_OK)
    Raise(db_, "Error executing SQL statement", sql_);
}

void TSQLiteStatement::BindDouble(int index, double value) {
  if (sqlite3_bind_double(stmt_.get(), index, value) != SQLITE_OK)
    Raise(db_, "Error executing SQL statement", sql_);
}

void TSQLiteStatement::BindBlob(int index, std::string_view value) {
  if (sqlite3_bind_blob64(stmt_.get(), index, value.data(), value.size(), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    Raise(db_, "Error executing SQL statement", sql_);
}

void TSQLiteStatement::BindNull(int index) {
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK)
    Raise(db_, "Error executing SQL statement", sql_);
}

void TSQLiteStatement::Execute() {
  const int rc = sqlite3_step(stmt_.get());
  if (rc != SQLITE_DONE) {
    // The message is taken before the reset, which may replace it.
    const bool detailed = IsErrorCode(sqlite3_errcode(db_));
    const std::string message =
        detailed ? "Error executing SQL statement \"" + sql_ + "\" : " + sqlite3_errmsg(db_)
                 : "Error executing SQL statement";
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    throw ESQLiteException(message);
  }
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

// ---------------------------------------------------------------------------------------------
// TSQLiteDatabase

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName, TSQLiteOpenMode mode) {
  sqlite3* raw = nullptr;
  int rc = SQLITE_OK;
  // A connection is only ever used by the thread that opened it; without the per-call mutex a
  // large result reads markedly faster.
  const int threading = SQLITE_OPEN_NOMUTEX;
  switch (mode) {
  case TSQLiteOpenMode::ReadOnly:
    if (IsQuietWalDatabase(fileName))
      rc = sqlite3_open_v2((FileUri(fileName) + "?immutable=1").c_str(), &raw,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | threading, nullptr);
    else
      rc = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READONLY | threading, nullptr);
    break;
  case TSQLiteOpenMode::ReadWrite:
    rc = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READWRITE | threading, nullptr);
    break;
  case TSQLiteOpenMode::Create:
    rc = sqlite3_open_v2(fileName.c_str(), &raw,
                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | threading, nullptr);
    break;
  }
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    if (!db_)
      throw ESQLiteException("Failed to open database \"" + fileName + "\" : unknown error");
    throw ESQLiteException("Failed to open database \"" + fileName +
                           "\" : " + sqlite3_errmsg(db_.get()));
  }
  // Connection settings only; neither writes to the file.
  ExecSQL("PRAGMA SYNCHRONOUS=NORMAL;");
  ExecSQL("PRAGMA temp_store = MEMORY;");
}

TSQLiteDatabase::~TSQLiteDatabase() {
  if (transactionOpen_)
    sqlite3_exec(db_.get(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void TSQLiteDatabase::ExecSQL(const std::string& sql) {
  const TSQLiteStmtPtr stmt = PrepareStatement(db_.get(), sql);
  if (sqlite3_step(stmt.get()) != SQLITE_DONE)
    Raise(db_.get(), "Error executing SQL statement", sql);
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const std::string& sql) {
  return std::make_unique<TSQLiteTable>(db_.get(), sql);
}

std::unique_ptr<TSQLiteStatement> TSQLiteDatabase::Prepare(const std::string& sql) {
  return std::make_unique<TSQLiteStatement>(db_.get(), sql);
}

bool TSQLiteDatabase::TableExists(const std::string& tableName) {
  std::string literal;
  for (const char c : LowerCaseAscii(tableName)) {
    literal += c;
    if (c == '\'')
      literal += '\'';
  }
  const auto table =
      GetTable("select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" +
               literal + "' ");
  return table->RowCount() > 0;
}

void TSQLiteDatabase::BeginTransaction() {
  if (transactionOpen_)
    throw ESQLiteException("Transaction already open");
  ExecSQL("BEGIN TRANSACTION;");
  transactionOpen_ = true;
}

void TSQLiteDatabase::BeginWriteTransaction() {
  if (transactionOpen_)
    throw ESQLiteException("Transaction already open");
  ExecSQL("BEGIN IMMEDIATE TRANSACTION;");
  transactionOpen_ = true;
}

void TSQLiteDatabase::Commit() {
  ExecSQL("COMMIT;");
  transactionOpen_ = false;
}

void TSQLiteDatabase::Rollback() {
  ExecSQL("ROLLBACK;");
  transactionOpen_ = false;
}

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

std::unique_ptr<TSQLiteDatabase> TBrowserSQLite3CacheFile::Open(TSQLiteOpenMode mode) const {
  const std::string hostPath = winapi::HostPath(FileName);
  std::error_code ec;
  if (hostPath.empty() || !std::filesystem::is_regular_file(hostPath, ec))
    return nullptr;
  return std::make_unique<TSQLiteDatabase>(hostPath, mode);
}

bool TBrowserSQLite3CacheFile::ReadWithColumnMap(TCacheList& list, const TColumnMap& map) {
  const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadOnly);
  if (!db)
    return false;
  // A file that is no database fails here; that is a store that cannot be read, not one
  // without the table.
  if (!db->TableExists(TableName))
    return false;

  const std::unique_ptr<TSQLiteTable> table =
      db->GetTable(UseQuery ? Query : "SELECT * FROM " + TableName);
  std::array<int, 8> column;
  for (std::size_t i = 0; i < column.size(); ++i) {
    column[i] = -1;
    if (map.Columns[i].empty())
      continue;
    try {
      column[i] = table->ColumnIndex(map.Columns[i]);
    } catch (const ESQLiteException&) {
    }
  }

  const auto date = [&](int c) -> TDateTime {
    try {
      return StoreTimeToDateTime(table->ColumnInt64(c), map.TimeUnit);
    } catch (const ESQLiteException&) {
      return 0;
    }
  };
  for (; !table->AtEnd(); table->NextRow()) {
    TCacheItem& item = list.Add();
    try {
      if (column[0] >= 0)
        item.DatabaseID = table->ColumnInt64(column[0]);
      if (column[1] >= 0)
        item.Name = table->ColumnText(column[1]);
      if (column[2] >= 0)
        item.Content = table->ColumnText(column[2]);
      if (column[3] >= 0)
        item.Host = table->ColumnText(column[3]);
      if (column[4] >= 0)
        item.Path = table->ColumnText(column[4]);
      if (column[5] >= 0)
        item.ServerSecure = table->ColumnInt64(column[5]) != 0;
      if (column[6] >= 0)
        item.Expires = date(column[6]);
      if (column[7] >= 0)
        item.LastAccess = date(column[7]);
    } catch (const ESQLiteException&) {
      list.Delete(list.Count() - 1);
    }
  }
  return true;
}

std::string TBrowserSQLite3CacheFile::DeleteStatement() const {
  return "DELETE FROM " + KeyTable + " WHERE " + KeyColumn + "=?";
}

bool TBrowserSQLite3CacheFile::DeleteEntry(const TCacheItem& item) {
  LastError.clear();
  try {
    const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadWrite);
    if (!db)
      return false;
    db->ExecSQL("DELETE FROM " + KeyTable + " WHERE " + KeyColumn + "=" +
                std::to_string(item.DatabaseID));
    return true;
  } catch (const ESQLiteException& e) {
    LastError = e.what();
    return false;
  }
}

bool TBrowserSQLite3CacheFile::DeleteMarked(const TCacheList& list) {
  LastError.clear();
  FailedDeletions = 0;
  std::unique_ptr<TSQLiteDatabase> db;
  try {
    db = Open(TSQLiteOpenMode::ReadWrite);
    if (!db)
      return false;
    db->BeginWriteTransaction();
  } catch (const ESQLiteException& e) {
    LastError = e.what();
    return false;
  }
  // Prepared once for all rows; a statement that cannot be prepared (no such table) fails every
  // deletion, which is skipped like any other failed one.
  std::unique_ptr<TSQLiteStatement> statement;
  try {
    statement = db->Prepare(DeleteStatement());
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
    LastError = e.what();
    return false;
  }
}

bool TBrowserSQLite3CacheFile::DeleteAll() {
  LastError.clear();
  try {
    const std::unique_ptr<TSQLiteDatabase> db = Open(TSQLiteOpenMode::ReadWrite);
    if (!db)
      return false;
    db->ExecSQL("DELETE FROM " + KeyTable);
    return true;
  } catch (const ESQLiteException& e) {
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
