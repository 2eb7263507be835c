#include "formats/BrowserCacheSQLite.h"

#include "formats/SQLiteViewVfs.h"
#include "formats/StoreLimits.h"
#include "model/DateUtils.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// What a host path holds, seen without following a symbolic link.
enum class THostEntry : std::uint8_t { Missing, PlainFile, Other };

THostEntry HostEntryAt(const std::string& hostPath, std::uint64_t* size = nullptr) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? THostEntry::Missing : THostEntry::Other;
  if (!S_ISREG(st.st_mode))
    return THostEntry::Other;
  if (size != nullptr)
    *size = static_cast<std::uint64_t>(st.st_size);
  return THostEntry::PlainFile;
}

// Owns a host file descriptor.
class THostFd {
public:
  explicit THostFd(int fd) : fd_(fd) {}
  ~THostFd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  THostFd(const THostFd&) = delete;
  THostFd& operator=(const THostFd&) = delete;
  int Get() const { return fd_; }

private:
  int fd_;
};

// A database in WAL mode whose write-ahead log does not exist is complete in its main file.
// Opening it would make SQLite look for (and want to create) the log; marked immutable it reads
// the main file alone. The header is read without following a link and without waiting on a
// pipe, so that the check itself cannot be steered.
bool IsQuietWalDatabase(const std::string& fileName) {
  const THostFd fd(::open(fileName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0)
    return false;
  char header[20] = {};
  if (::pread(fd.Get(), header, sizeof header, 0) != static_cast<ssize_t>(sizeof header))
    return false;
  if (std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] != 2 || header[19] != 2)
    return false;
  return HostEntryAt(fileName + "-wal") == THostEntry::Missing;
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
  switch (Kind(column)) {
  case TKind::Null:
    return 0;
  case TKind::Int:
    return sqlite3_column_int64(stmt_.get(), column);
  case TKind::Float: {
    const double value = std::trunc(sqlite3_column_double(stmt_.get(), column));
    if (!(value >= -9.2e18 && value <= 9.2e18))
      throw ESQLiteException("Not an integer or numeric field");
    return static_cast<std::int64_t>(value);
  }
  case TKind::Bytes:
    break;
  }
  throw ESQLiteException("Not an integer or numeric field");
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
    if (IsQuietWalDatabase(fileName))
      rc = sqlite3_open_v2((FileUri(fileName) + "?immutable=1").c_str(), &raw,
                           SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | common, SQLiteViewVfsName());
    else
      rc = sqlite3_open_v2(fileName.c_str(), &raw, SQLITE_OPEN_READONLY | common,
                           SQLiteViewVfsName());
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
  switch (HostEntryAt(hostPath, &size)) {
  case THostEntry::Missing:
    winapi::SetLastError(winapi::ERROR_FILE_NOT_FOUND);
    return nullptr;
  case THostEntry::Other:
    // A link, a folder, a device or a pipe in place of the store.
    throw ESQLiteException("Failed to open database \"" + FileName + "\" : not a plain file",
                           winapi::ERROR_ACCESS_DENIED);
  case THostEntry::PlainFile:
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
    if (odd || HostEntryAt(hostPath + std::string(suffix)) == THostEntry::Other)
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
  HostEntryAt(hostPath, &size);
  HostEntryAt(hostPath + "-wal", &log);
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
