#pragma once
// A thin layer over the SQLite library: a connection opened for viewing (through a file layer
// that cannot write), for changing or for creating (TSQLiteDatabase), a query read one row at a
// time (TSQLiteRows) or whole (TSQLiteTable), a prepared statement (TSQLiteStatement), and the
// exception that carries SQLite's words and the Windows error that stands for them.

#include "winapi/WinApi.h"

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

} // namespace quillon
