#include "formats/SQLiteDatabase.h"

#include "winapi/SQLiteHost.h"
#include "winapi/TextCase.h"
#include "winapi/SQLiteViewVfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillon {

void TSQLiteDbDeleter::operator()(sqlite3* db) const {
  sqlite3_close(db);
}
void TSQLiteStmtDeleter::operator()(sqlite3_stmt* stmt) const {
  sqlite3_finalize(stmt);
}

namespace {

bool IsErrorCode(int code) {
  return code != SQLITE_OK && code != SQLITE_ROW && code != SQLITE_DONE;
}

// The Windows error a user is told for a SQLite result code.
winapi::DWORD WindowsError(int code) {
  switch (code & 0xFF) {
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return winapi::ERROR_SHARING_VIOLATION;
  case SQLITE_READONLY:
  case SQLITE_PERM:
  case SQLITE_AUTH:
  case SQLITE_CANTOPEN:
    return winapi::ERROR_ACCESS_DENIED;
  case SQLITE_FULL:
    return winapi::ERROR_DISK_FULL;
  case SQLITE_NOMEM:
    return winapi::ERROR_NOT_ENOUGH_MEMORY;
  case SQLITE_IOERR:
    return code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ ? winapi::ERROR_READ_FAULT
                                                                        : winapi::ERROR_WRITE_FAULT;
  default:
    return winapi::ERROR_INVALID_DATA;
  }
}

winapi::DWORD WindowsError(sqlite3* db) {
  return db != nullptr ? WindowsError(sqlite3_extended_errcode(db)) : winapi::ERROR_INVALID_DATA;
}

// The message alone, or with the statement and SQLite's own words when the connection reports
// an error.
[[noreturn]] void Raise(sqlite3* db, const char* message, const std::string& sql) {
  if (db != nullptr && IsErrorCode(sqlite3_errcode(db)))
    throw ESQLiteException(std::string(message) + " \"" + sql + "\" : " + sqlite3_errmsg(db),
                           WindowsError(db));
  throw ESQLiteException(message, WindowsError(db));
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

std::string DoubleText(double value) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

// A cell's integer as the stores read it: null is 0, a floating value is truncated when it
// fits, a text or blob is refused. float_ is asked only for a floating cell.
template <class TFloat>
std::int64_t IntegerOf(TSQLiteRows::TKind kind, std::int64_t integer, TFloat float_) {
  using TKind = TSQLiteRows::TKind;
  if (kind == TKind::Null)
    return 0;
  if (kind == TKind::Int)
    return integer;
  if (kind == TKind::Float) {
    const double value = std::trunc(float_());
    if (value >= -9.2e18 && value <= 9.2e18)
      return static_cast<std::int64_t>(value);
  }
  throw ESQLiteException("Not an integer or numeric field");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TSQLiteRows

TSQLiteRows::TSQLiteRows(sqlite3* db, const std::string& sql)
    : db_(db), sql_(sql), stmt_(PrepareStatement(db, sql)) {
  sqlite3_stmt* s = stmt_.get();
  const int columns = sqlite3_column_count(s);
  names_.reserve(columns);
  types_.reserve(columns);
  fromFirstRow_.resize(columns);
  for (int c = 0; c < columns; ++c) {
    const char* name = sqlite3_column_name(s, c);
    names_.push_back(UpperCaseAscii(name != nullptr ? name : ""));
    const char* declared = sqlite3_column_decltype(s, c);
    types_.push_back(declared != nullptr ? TypeOfDeclaration(declared) : dtNull);
    // Expression columns have no declared type; they take their first value's.
    fromFirstRow_[c] = declared == nullptr;
    typesPending_ = typesPending_ || declared == nullptr;
  }
}

int TSQLiteRows::FindColumn(std::string_view name) const {
  const std::string upper = UpperCaseAscii(name);
  const auto it = std::find(names_.begin(), names_.end(), upper);
  return it == names_.end() ? -1 : static_cast<int>(it - names_.begin());
}

bool TSQLiteRows::Step() {
  sqlite3_stmt* s = stmt_.get();
  const int rc = sqlite3_step(s);
  if (rc == SQLITE_DONE)
    return false;
  if (rc == SQLITE_BUSY)
    throw ESQLiteException("Could not prepare SQL statement", winapi::ERROR_SHARING_VIOLATION);
  if (rc != SQLITE_ROW)
    Raise(db_, "Could not retrieve data", sql_);
  if (typesPending_) {
    for (int c = 0; c < ColumnCount(); ++c)
      if (fromFirstRow_[c])
        types_[c] = TypeOfStorage(sqlite3_column_type(s, c));
    typesPending_ = false;
  }
  return true;
}

TSQLiteRows::TKind TSQLiteRows::Kind(int column) const {
  sqlite3_stmt* s = stmt_.get();
  const int storage = sqlite3_column_type(s, column);
  if (storage == SQLITE_NULL)
    return TKind::Null;
  // A column without a type of its own (an expression whose first value was null) takes each
  // value by its storage type rather than dropping it.
  const TSQLiteColumnType type = types_[column] == dtNull ? TypeOfStorage(storage) : types_[column];
  switch (type) {
  case dtInt:
    return TKind::Int;
  case dtNumeric:
    return TKind::Float;
  case dtStr:
    return sqlite3_column_text(s, column) != nullptr ? TKind::Bytes : TKind::Null;
  case dtBlob:
  case dtNull:
    break;
  }
  return sqlite3_column_blob(s, column) != nullptr && sqlite3_column_bytes(s, column) > 0
             ? TKind::Bytes
             : TKind::Null;
}

std::int64_t TSQLiteRows::Int64(int column) const {
  const TKind kind = Kind(column);
  return IntegerOf(kind, kind == TKind::Int ? sqlite3_column_int64(stmt_.get(), column) : 0,
                   [&] { return sqlite3_column_double(stmt_.get(), column); });
}

double TSQLiteRows::Double(int column) const {
  return sqlite3_column_double(stmt_.get(), column);
}

std::string_view TSQLiteRows::Text(int column, std::string& scratch) const {
  sqlite3_stmt* s = stmt_.get();
  switch (Kind(column)) {
  case TKind::Null:
    return {};
  case TKind::Int:
    scratch = std::to_string(sqlite3_column_int64(s, column));
    return scratch;
  case TKind::Float:
    scratch = DoubleText(sqlite3_column_double(s, column));
    return scratch;
  case TKind::Bytes:
    break;
  }
  const TSQLiteColumnType type =
      types_[column] == dtNull ? TypeOfStorage(sqlite3_column_type(s, column)) : types_[column];
  if (type == dtStr) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s, column));
    // A text ends at its first zero byte.
    const void* zero = std::memchr(text, 0, size);
    return {text, zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                                  : size};
  }
  return {static_cast<const char*>(sqlite3_column_blob(s, column)),
          static_cast<std::size_t>(sqlite3_column_bytes(s, column))};
}

// ---------------------------------------------------------------------------------------------
// TSQLiteTable

TSQLiteTable::TSQLiteTable(sqlite3* db, const std::string& sql) {
  TSQLiteRows rows(db, sql);
  const int columns = rows.ColumnCount();
  for (int c = 0; c < columns; ++c)
    names_.push_back(rows.ColumnName(c));
  std::string scratch;
  while (rows.Step()) {
    if (rowCount_ == std::numeric_limits<int>::max())
      throw ESQLiteException("Could not retrieve data");
    for (int c = 0; c < columns; ++c) {
      TCell cell;
      cell.Kind = rows.Kind(c);
      switch (cell.Kind) {
      case TKind::Null:
        break;
      case TKind::Int:
        cell.Int = rows.Int64(c);
        break;
      case TKind::Float:
        cell.Int = std::bit_cast<std::int64_t>(rows.Double(c));
        break;
      case TKind::Bytes: {
        const std::string_view bytes = rows.Text(c, scratch);
        cell.Int = static_cast<std::int64_t>(bytes_.size());
        cell.Size = static_cast<std::uint32_t>(bytes.size());
        bytes_.append(bytes);
        break;
      }
      }
      cells_.push_back(cell);
    }
    ++rowCount_;
  }
  for (int c = 0; c < columns; ++c)
    types_.push_back(rows.ColumnType(c));
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
  return IntegerOf(cell.Kind, cell.Int, [&] { return std::bit_cast<double>(cell.Int); });
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
    const winapi::DWORD error = WindowsError(db_);
    sqlite3_reset(stmt_.get());
    sqlite3_clear_bindings(stmt_.get());
    throw ESQLiteException(message, error);
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
  // large result reads markedly faster. A path that is or passes a symbolic link is refused: the
  // caller's path has its links resolved, so one that remains was put there to lead elsewhere.
  const int common = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
  switch (mode) {
  case TSQLiteOpenMode::ReadOnly:
    if (winapi::IsQuietWalDatabase(fileName))
      rc = sqlite3_open_v2((winapi::SQLiteFileUri(fileName) + "?immutable=1").c_str(), &raw,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | common,
                           winapi::SQLiteViewVfsName());
    else
      rc = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READONLY | common,
                           winapi::SQLiteViewVfsName());
    break;
  case TSQLiteOpenMode::ReadWrite:
    rc = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READWRITE | common, nullptr);
    break;
  case TSQLiteOpenMode::Create:
    rc = sqlite3_open_v2(fileName.c_str(), &raw,
                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | common, nullptr);
    break;
  }
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    if (!db_)
      throw ESQLiteException("Failed to open database \"" + fileName + "\" : unknown error",
                             WindowsError(rc));
    throw ESQLiteException("Failed to open database \"" + fileName +
                               "\" : " + sqlite3_errmsg(db_.get()),
                           WindowsError(sqlite3_extended_errcode(db_.get())));
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

TSQLiteRows TSQLiteDatabase::Rows(const std::string& sql) {
  return TSQLiteRows(db_.get(), sql);
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

} // namespace quillon
